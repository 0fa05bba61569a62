#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <QString>
#include <qnamespace.h>

#include "export/data_kinds.h"

class QListWidget;
class QListWidgetItem;

namespace kestrova {
struct OfferedDay;
}

namespace kestrova::ui {

/// The item data role that carries a list entry's hidden code; the list shows only the text.
inline constexpr int kHiddenCodeRole = Qt::UserRole + 1;

/// The window's lists whose entries carry a hidden code (a month template, a day page, a
/// kind code) behind their visible text, as the core's entry texts have it.
namespace coded_list {

/// The code of an entry.
QString codeOf(const QListWidgetItem* item);
/// The codes of the selected entries, in list order.
std::vector<std::string> selectedCodes(const QListWidget* list);
bool anySelected(const QListWidget* list);
/// The day pages of the selected entries of the day list, in list order (a past-data entry
/// carries a month template instead).
std::vector<std::string> selectedDayPages(const QListWidget* days);
/// The selected state of the comment list's entries.
std::array<bool, kCommentEntryCount> selectedComments(const QListWidget* comments);

/// "1" per selected entry, "0" per other entry, in list order.
std::string selectionString(const QListWidget* list);
/// Selects entry i when flags[i] is '1' and deselects it otherwise, for the entries both
/// have; the first entry becomes the current one. An empty `flags` changes nothing.
void restoreSelection(QListWidget* list, std::string_view flags);
/// Makes the first entry current without changing the selection.
void makeFirstCurrent(QListWidget* list);

/// Fills the comment list: prediction and result entry of each comment kind.
void fillComments(QListWidget* list);
/// Fills the index kind list, in the order of the data kinds.
void fillDataKinds(QListWidget* list);
/// Inserts the past-data entries from `monthTemplates` the day list does not have yet (one a
/// year, oldest first, before this week's days), so that a year that has begun is offered.
void addPastYears(QListWidget* list, const std::vector<std::string>& monthTemplates);
/// Appends this week's days to the day list.
void addThisWeek(QListWidget* list, const std::vector<OfferedDay>& days);

}  // namespace coded_list

}  // namespace kestrova::ui
