#include "export/selection_check.h"

#include <algorithm>

#include "base/text.h"
#include "export/data_file_names.h"

namespace kestrova {

namespace {

bool isUtf8Continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

SelectionCheckResult lst_ThisW_Chk(const SelectionCheckInput& input) {
    SelectionCheckResult result;
    int past = 0;
    bool thisWeek = false;
    for (const auto& code : input.thisWeekCodes) {
        if (code.size() == kMonthTemplateLength) {
            ++past;
            result.StartYear = code.substr(2, 2);
        } else if (code.size() == kDayFileNameLength) {
            thisWeek = true;
        }
    }

    auto refuse = [&result](std::string message, SelectionFocus focus) {
        result.message = std::move(message);
        result.focus = focus;
        return result;
    };
    if (past == 0 && !thisWeek) {
        return refuse("開催日データが未選択です。確認して下さい。", SelectionFocus::ThisWeekList);
    }
    if (past > 1) {
        return refuse("過去データは複数できません。\r\n\r\n開始開催年月を確認して選択下さい。",
                      SelectionFocus::ThisWeekList);
    }
    if (past == 1 && thisWeek) {
        return refuse("過去データと今週データは同時に選択できません。",
                      SelectionFocus::ThisWeekList);
    }

    result.ThisWeekMode = (past == 1 && !thisWeek) ? 0 : 1;
    if (!input.anyDataKind && !input.anyComment) {
        return refuse(
            "出力データ（指数）と予想／結果コメント出力データが未選択です。どれか１つは選択して"
            "下さい。",
            SelectionFocus::DataKindList);
    }
    result.ok = true;
    return result;
}

std::string hiddenItemCode(std::string_view entry, std::size_t length) {
    std::size_t start = entry.size();
    for (std::size_t taken = 0; taken < length && start > 0; ++taken) {
        --start;
        while (start > 0 && isUtf8Continuation(entry[start])) {
            --start;
        }
    }
    return std::string(trimSpaces(entry.substr(start)));
}

std::string pastDataEntry(std::string_view monthTemplate) {
    std::string entry = "20";
    entry += monthTemplate.substr(std::min<std::size_t>(2, monthTemplate.size()), 2);
    entry += "年01月～先週（過去データ）";
    entry.append(kHiddenCodeGap, ' ');
    entry += monthTemplate;
    return entry;
}

std::string thisWeekEntry(std::string_view dayText, std::string_view dayPage) {
    std::string entry(dayText);
    entry += "（今週データ）";
    entry.append(kHiddenCodeGap, ' ');
    entry += dayPage;
    return entry;
}

}  // namespace kestrova
