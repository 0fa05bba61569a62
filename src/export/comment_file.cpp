#include "export/comment_file.h"

#include <algorithm>
#include <array>
#include <exception>
#include <iterator>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/ss_logging.h"
#include "base/text.h"
#include "export/day_rows.h"
#include "export/host_file.h"
#include "export/race_keys.h"
#include "export/records_table.h"

namespace kestrova {

namespace {

constexpr std::string_view kTag = "CmtOut";

// Record columns read here.
constexpr std::size_t kRaceKey = 1;
constexpr std::size_t kHorseNumber = 2;
constexpr std::size_t kStrongRunMark = 3;
constexpr std::size_t kKeyHorseMark = 4;
constexpr std::size_t kSystemMark = 8;
constexpr std::size_t kRestingFlag = 113;
constexpr std::size_t kStableEntryDate = 114;
constexpr std::size_t kFarmName = 116;
constexpr std::size_t kFarmRank = 117;
constexpr std::size_t kVitalJockey = 119;

constexpr std::string_view kLargeCircle = "◯";
constexpr std::string_view kWhiteCircle = "○";
constexpr std::string_view kFormerFarmName = "（旧天栄ホースパーク";

struct Meeting {
    std::string_view key;
    RowList rows;
};

/// The meetings of the day in order of their first record, each with its records in page
/// order. A day may have any number of them; the host reads one file per meeting.
std::vector<Meeting> groupMeetings(const RecordsTable& table, std::span<const std::uint32_t> rows) {
    std::vector<Meeting> meetings;
    for (const std::uint32_t row : rows) {
        const std::string_view key = meetingKeyOf(table.cell(row, kRaceKey));
        auto it = std::find_if(meetings.begin(), meetings.end(),
                               [key](const Meeting& m) { return m.key == key; });
        if (it == meetings.end()) {
            meetings.push_back({key, {}});
            it = std::prev(meetings.end());
        }
        it->rows.push_back(row);
    }
    return meetings;
}

/// Characters [start, start + count) of UTF-8 text, fewer when the text is shorter.
std::string_view midChars(std::string_view text, std::size_t start, std::size_t count) {
    auto advance = [text](std::size_t pos, std::size_t chars) {
        while (chars > 0 && pos < text.size()) {
            ++pos;
            while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) {
                ++pos;
            }
            --chars;
        }
        return pos;
    };
    const std::size_t from = advance(0, start);
    return text.substr(from, advance(from, count) - from);
}

void appendRestingFarm(std::string& out, const RecordsTable& table, std::size_t row) {
    if (trimSpaces(table.cell(row, kRestingFlag)) != "1") {
        return;
    }
    std::string token(table.cell(row, kFarmName));
    if (const auto rank = table.cell(row, kFarmRank); !rank.empty()) {
        token += '(';
        token += rank;
        token += ')';
    }
    if (const auto date = table.cell(row, kStableEntryDate); !date.empty()) {
        token += midChars(date, 2, 2);
        token += '/';
        token += midChars(date, 4, 2);
        token += '/';
        token += midChars(date, 6, 2);
    }
    if (token.find(kFormerFarmName) != std::string::npos) {
        token = replaceAll(token, kFormerFarmName, "");
    }
    out += token;
}

void appendMark(std::string& out, std::string_view mark, std::string_view empty) {
    out += mark.empty() ? empty : mark;
}

void appendLine(std::string& out, const RecordsTable& table, std::size_t row,
                std::string_view hostCode, const CommentKindFlags& flags) {
    out += hostCode;
    out += table.cell(row, kRaceKey).substr(14, 2);
    out += table.cell(row, kHorseNumber);
    out += ',';
    if (flags[0] == 1) {
        appendMark(out, table.cell(row, kSystemMark), "__");
        out += ' ';
    }
    if (flags[1] == 1) {
        appendMark(out, table.cell(row, kStrongRunMark), "___");
        out += ' ';
    }
    if (flags[2] == 1) {
        appendMark(out, table.cell(row, kKeyHorseMark), "__");
        out += ' ';
    }
    if (flags[3] == 1) {
        out += trimSpaces(table.cell(row, kVitalJockey)) == "1" ? "VJ" : "__";
        out += ' ';
    }
    if (flags[4] == 1) {
        appendRestingFarm(out, table, row);
        out += ' ';
    }
    out += "\r\n";
}

bool isFilePrefix(std::string_view prefix) {
    return !prefix.empty() && std::all_of(prefix.begin(), prefix.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
}

}  // namespace

WriterResult CmtOut(const SsLogging& log, HostWriter& host, const RecordsTable& table,
                    const CommentKindFlags& flags, const std::filesystem::path& folder,
                    std::string_view dayKey, std::string_view prefix,
                    std::span<const std::uint32_t> dayRows) {
    WriterResult result;
    std::vector<Meeting> meetings;
    try {
        if (!isValidDayKey(dayKey)) {
            throw Error("日付が正しくありません。(" + std::string(dayKey) + ")");
        }
        if (!isFilePrefix(prefix)) {
            throw Error("ファイル名の接頭辞が正しくありません。(" + std::string(prefix) + ")");
        }
        meetings = groupMeetings(table, dayRows);
        if (meetings.empty()) {
            result.ok = true;
            return result;
        }
        const WriteFolder& yearFolder = host.folder(folder / std::string(dayKey.substr(0, 4)), 1);

        std::string text;
        for (const Meeting& meeting : meetings) {
            // Each meeting's file stands on its own: one that cannot be written stops no other.
            try {
                const std::string hostCode = ON_CONV_KEY(meeting.key);
                text.clear();
                text.reserve(meeting.rows.size() * 64);
                for (const std::uint32_t row : meeting.rows) {
                    appendLine(text, table, row, hostCode, flags);
                }
                if (text.find(kLargeCircle) != std::string::npos) {
                    text = replaceAll(text, kLargeCircle, kWhiteCircle);
                }
                host.writeText(log, kTag, yearFolder, std::string(prefix) + hostCode + ".DAT",
                               text);
                result.lines += static_cast<std::int32_t>(meeting.rows.size());
                ++result.files;
            } catch (const std::exception& e) {
                log.ErrorLog(errorText(kTag, describeError(e)));
                ++result.failedFiles;
            }
        }
    } catch (const std::exception& e) {
        log.ErrorLog(errorText(kTag, describeError(e)));
        // None of the day's files was written.
        result.failedFiles = std::max<std::int64_t>(1, static_cast<std::int64_t>(meetings.size()));
    }
    result.ok = result.failedFiles == 0;
    return result;
}

}  // namespace kestrova
