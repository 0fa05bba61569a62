#include "export/index_csv.h"

#include <exception>
#include <string>

#include "base/errors.h"
#include "base/ss_logging.h"
#include "base/text.h"
#include "export/data_kinds.h"
#include "export/day_rows.h"
#include "export/host_file.h"
#include "export/race_keys.h"
#include "export/records_table.h"

namespace kestrova {

namespace {

constexpr std::string_view kTag = "AlsOut";
constexpr std::string_view kStemPrefix = "KSTR";
constexpr std::size_t kRaceKey = 1;
constexpr std::size_t kHorseNumber = 2;
// Race key, horse number, two values, separators and line end.
constexpr std::size_t kTypicalLineBytes = 40;

}  // namespace

WriterResult AlsOut(const SsLogging& log, HostWriter& host, const RecordsTable& table,
                    const std::filesystem::path& folder, std::string_view stem,
                    std::string_view dayKey, std::span<const std::uint32_t> dayRows) {
    WriterResult result;
    try {
        // The stem and the day key become a file name: only their expected shapes pass.
        if (!stem.starts_with(kStemPrefix) || stem.size() != kStemPrefix.size() + 3 ||
            !isAsciiDigits(stem.substr(kStemPrefix.size()))) {
            throw Error("ファイル名が正しくありません。(" + std::string(stem) + ")");
        }
        if (!isValidDayKey(dayKey)) {
            throw Error("日付が正しくありません。(" + std::string(dayKey) + ")");
        }
        const std::optional<int> first = indexFirstColumn(stem.substr(stem.size() - 3));
        if (!first || *first < 0 || *first + 1 >= static_cast<int>(RecordsTable::kColumns)) {
            throw Error("指数の列が表の範囲外です。(" + std::string(stem) + ")");
        }
        const auto firstColumn = static_cast<std::size_t>(*first);
        // An empty file would replace a good one with nothing.
        if (dayRows.empty()) {
            result.ok = true;
            return result;
        }
        const WriteFolder& yearFolder = host.folder(folder / std::string(dayKey.substr(0, 4)), 2);

        std::string text;
        text.reserve(dayRows.size() * kTypicalLineBytes);
        for (const std::uint32_t row : dayRows) {
            text += table.cell(row, kRaceKey);
            text += table.cell(row, kHorseNumber);
            text += ',';
            text += table.cell(row, firstColumn);
            text += ',';
            text += table.cell(row, firstColumn + 1);
            text += "\r\n";
        }
        const std::string fileName =
            std::string(stem) + "_" + std::string(dayKey.substr(2, 6)) + ".CSV";
        host.writeText(log, kTag, yearFolder, fileName, text);
        result.lines = static_cast<std::int32_t>(dayRows.size());
        result.files = 1;
        result.ok = true;
    } catch (const std::exception& e) {
        log.ErrorLog(errorText(kTag, describeError(e)));
        result.failedFiles = 1;
    }
    return result;
}

}  // namespace kestrova
