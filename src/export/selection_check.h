#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

/// The list that gets the focus after a refused selection.
enum class SelectionFocus { None, ThisWeekList, DataKindList };

/// What the selection check looks at.
struct SelectionCheckInput {
    /// Hidden codes of the selected lst_ThisW entries in list order: "TFyymm.html" month
    /// templates (11 characters) or "TFyymmdd.html" day pages (13 characters).
    std::vector<std::string> thisWeekCodes;
    bool anyDataKind = false;  ///< any lst_DataSel entry selected
    bool anyComment = false;   ///< any lst_YKcom entry selected
};

struct SelectionCheckResult {
    bool ok = false;
    /// The information-box text when refused, "" when ok.
    std::string message;
    SelectionFocus focus = SelectionFocus::None;
    std::int16_t ThisWeekMode = 0;
    std::string StartYear;
};

/// lst_ThisW_Chk without the window: decides whether the selection can be exported. The
/// caller logs the entry, shows `message` in an information box and moves the focus.
/// ThisWeekMode and StartYear are set as the window fields would be, also when refused.
SelectionCheckResult lst_ThisW_Chk(const SelectionCheckInput& input);

/// Entries carry their code after this many spaces, out of the visible width.
inline constexpr std::size_t kHiddenCodeGap = 50;

/// The code of a list entry: its last `length` characters, trimmed of spaces.
std::string hiddenItemCode(std::string_view entry, std::size_t length);

/// lst_ThisW entry of a month template: "20yy年01月～先週（過去データ）" + gap + template.
std::string pastDataEntry(std::string_view monthTemplate);
/// lst_ThisW entry of a meeting day: the day text ("yyyy年mm月dd日") + "（今週データ）" + gap
/// + the day page.
std::string thisWeekEntry(std::string_view dayText, std::string_view dayPage);

}  // namespace kestrova
