#include "ui/coded_list.h"

#include <QListWidget>

#include "export/data_file_names.h"
#include "export/selection_check.h"
#include "export/this_week.h"
#include "ui/qt_text.h"

namespace kestrova::ui::coded_list {

namespace {

constexpr std::size_t kThisWeekCodeLength = 13;
constexpr std::size_t kKindCodeLength = 3;

/// A list entry made of its visible text, the gap of spaces and its code: the list shows
/// the text, the code travels in kHiddenCodeRole.
QListWidgetItem* codedEntry(const std::string& entry, std::size_t codeLength) {
    const auto gap = entry.find(std::string(kHiddenCodeGap, ' '));
    auto* item = new QListWidgetItem(qtText(std::string_view(entry).substr(0, gap)));
    item->setData(kHiddenCodeRole, qtText(hiddenItemCode(entry, codeLength)));
    return item;
}

std::string withCode(const std::string& text, std::string_view code) {
    return text + std::string(kHiddenCodeGap, ' ') + std::string(code);
}

}  // namespace

QString codeOf(const QListWidgetItem* item) {
    return item->data(kHiddenCodeRole).toString();
}

std::vector<std::string> selectedCodes(const QListWidget* list) {
    std::vector<std::string> codes;
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->isSelected()) {
            codes.push_back(utf8Text(codeOf(list->item(row))));
        }
    }
    return codes;
}

bool anySelected(const QListWidget* list) {
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->isSelected()) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> selectedDayPages(const QListWidget* days) {
    std::vector<std::string> pages;
    for (auto& code : selectedCodes(days)) {
        if (code.size() == kDayFileNameLength) {
            pages.push_back(std::move(code));
        }
    }
    return pages;
}

std::array<bool, kCommentEntryCount> selectedComments(const QListWidget* comments) {
    std::array<bool, kCommentEntryCount> selected{};
    for (int row = 0; row < comments->count() && row < static_cast<int>(selected.size()); ++row) {
        selected[static_cast<std::size_t>(row)] = comments->item(row)->isSelected();
    }
    return selected;
}

std::string selectionString(const QListWidget* list) {
    std::string text;
    for (int row = 0; row < list->count(); ++row) {
        text += list->item(row)->isSelected() ? '1' : '0';
    }
    return text;
}

void restoreSelection(QListWidget* list, std::string_view flags) {
    if (flags.empty()) {
        return;
    }
    for (int row = 0; row < list->count() && static_cast<std::size_t>(row) < flags.size(); ++row) {
        list->item(row)->setSelected(flags[static_cast<std::size_t>(row)] == '1');
    }
    makeFirstCurrent(list);
}

void makeFirstCurrent(QListWidget* list) {
    if (list->count() > 0) {
        list->selectionModel()->setCurrentIndex(list->model()->index(0, 0),
                                                QItemSelectionModel::NoUpdate);
    }
}

void fillComments(QListWidget* list) {
    list->clear();
    for (std::size_t position = 0; position < kCommentEntryCount; ++position) {
        list->addItem(
            codedEntry(withCode(commentEntryText(position), kCommentKindCodes[position / 2]),
                       kKindCodeLength));
    }
}

void fillDataKinds(QListWidget* list) {
    list->clear();
    for (std::size_t kind = kFirstIndexKind; kind < kDataKindCount; ++kind) {
        list->addItem(
            codedEntry(withCode(indexEntryText(kind), DataKindCodes[kind]), kKindCodeLength));
    }
}

void addPastYears(QListWidget* list, const std::vector<std::string>& monthTemplates) {
    // Past entries come first, one per year, oldest first; this week's days follow them.
    int pastEntries = 0;
    while (pastEntries < list->count() &&
           codeOf(list->item(pastEntries)).size() == kMonthTemplateLength) {
        ++pastEntries;
    }
    for (std::size_t year = static_cast<std::size_t>(pastEntries); year < monthTemplates.size();
         ++year) {
        list->insertItem(pastEntries++,
                         codedEntry(pastDataEntry(monthTemplates[year]), kThisWeekCodeLength));
    }
}

void addThisWeek(QListWidget* list, const std::vector<OfferedDay>& days) {
    for (const OfferedDay& day : days) {
        list->addItem(codedEntry(thisWeekEntry(day.dayText, day.fileName), kThisWeekCodeLength));
    }
}

}  // namespace kestrova::ui::coded_list
