#include "sample_data.h"

#include "calendar.h"
#include "page_writer.h"
#include "records.h"

namespace kestrova::sample {
namespace {

std::vector<RaceDay> monthDays(int year, int month) {
    std::vector<RaceDay> out;
    for (const RaceDay& rd : yearCalendar(year)) {
        if (civilFromDays(rd.days).month == month) {
            out.push_back(rd);
        }
    }
    return out;
}

/// The calendar's entry for a day; a day without racing has no venues.
RaceDay raceDayOf(int days) {
    for (const RaceDay& rd : yearCalendar(civilFromDays(days).year)) {
        if (rd.days == days) {
            return rd;
        }
    }
    RaceDay none;
    none.days = days;
    return none;
}

void appendRecords(DataFile& file, const RaceDay& day, std::uint32_t seed) {
    forEachRecord(day, seed, [&](const Row& row) { file.records.push_back(Record{row}); });
}

}  // namespace

std::vector<std::string> meetingDays(int year, int month) {
    std::vector<std::string> out;
    for (const RaceDay& rd : monthDays(year, month)) {
        out.push_back(dayKeyOf(rd.days));
    }
    return out;
}

std::vector<std::string> weekMeetingDays(std::string_view today) {
    const int days = daysOfKey(today);
    if (days < 0) {
        return {};
    }
    return weekMeetingDays(days);
}

DataFile generateMonth(int year, int month, std::uint32_t seed) {
    DataFile file;
    file.headerCell = monthHeaderCell(year, month);
    file.records.reserve(5000);
    for (const RaceDay& rd : monthDays(year, month)) {
        appendRecords(file, rd, seed);
    }
    return file;
}

DataFile generateDay(std::string_view dayKey, std::uint32_t seed) {
    const int days = daysOfKey(dayKey);
    if (days < 0) {
        return DataFile{std::string(dayKey) + ":", {}};
    }
    DataFile file;
    file.headerCell = dayHeaderCell(days);
    appendRecords(file, raceDayOf(days), seed);
    return file;
}

std::string renderMonthPage(int year, int month, std::uint32_t seed, Charset charset,
                            Layout layout) {
    // A month page is about 7 MB; one reservation avoids regrowing the buffer.
    PageWriter page(monthHeaderCell(year, month), charset, layout, 8 << 20);
    for (const RaceDay& rd : monthDays(year, month)) {
        forEachRecord(rd, seed, [&](const Row& row) { page.addRow(row); });
    }
    return page.finish();
}

std::string renderDayPage(std::string_view dayKey, std::uint32_t seed, Charset charset,
                          Layout layout) {
    const int days = daysOfKey(dayKey);
    if (days < 0) {
        return renderDataPage(generateDay(dayKey, seed), charset, layout);
    }
    PageWriter page(dayHeaderCell(days), charset, layout);
    forEachRecord(raceDayOf(days), seed, [&](const Row& row) { page.addRow(row); });
    return page.finish();
}

}  // namespace kestrova::sample
