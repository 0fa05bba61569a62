#include "export/index_csv.h"

#include <exception>
#include <string>

#include "export/data_kinds.h"
#include "export/day_rows.h"
#include "export/export_state.h"
#include "export/host_file.h"
#include "export/race_keys.h"
#include "services/core_context.h"
#include "services/errors.h"
#include "services/text.h"

namespace kestrova {

namespace {

constexpr std::string_view kTag = "AlsOut";
constexpr std::string_view kStemPrefix = "KSTR";
constexpr std::size_t kRaceKey = 1;
constexpr std::size_t kHorseNumber = 2;
// Race key, horse number, two values, separators and line end.
constexpr std::size_t kTypicalLineBytes = 40;

}  // namespace

bool AlsOut(CoreContext& ctx, ExportState& state, const std::filesystem::path& folder,
            std::string_view stem, std::string_view dayKey) {
    const RowList rows = recordRowsOfDay(state.TFDataTable, dayKey);
    return AlsOut(ctx, state, folder, stem, dayKey, rows);
}

bool AlsOut(CoreContext& ctx, ExportState& state, const std::filesystem::path& folder,
            std::string_view stem, std::string_view dayKey,
            std::span<const std::uint32_t> dayRows) {
    try {
        // The stem and the day key become a file name: only their expected shapes pass.
        if (!stem.starts_with(kStemPrefix) || stem.size() != kStemPrefix.size() + 3 ||
            !isAsciiDigits(stem.substr(kStemPrefix.size()))) {
            throw Error("ファイル名が正しくありません。(" + std::string(stem) + ")");
        }
        if (!isValidDayKey(dayKey)) {
            throw Error("日付が正しくありません。(" + std::string(dayKey) + ")");
        }
        const int first = indexFirstColumn(stem.substr(stem.size() - 3));
        if (first < 0 || first + 1 >= static_cast<int>(RecordsTable::kColumns)) {
            throw Error("指数の列が表の範囲外です。(" + std::string(stem) + ")");
        }
        const auto firstColumn = static_cast<std::size_t>(first);

        ensureFolder(folder);
        const std::filesystem::path yearFolder = folder / std::string(dayKey.substr(0, 4));
        ensureFolder(yearFolder);

        const RecordsTable& table = state.TFDataTable;
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
        writeHostFile(ctx.log, kTag, yearFolder / fileName, text);
        state.OutputCount += static_cast<std::int32_t>(dayRows.size());
        ++state.FilesWritten;
        return true;
    } catch (const std::exception& e) {
        ctx.log.ErrorLog(errorText(kTag, e.what()));
        return false;
    }
}

}  // namespace kestrova
