#include "export/data_download.h"

#include <exception>
#include <span>
#include <utility>

#include "base/text.h"
#include "export/data_file_names.h"
#include "export/export_state.h"
#include "export/race_keys.h"
#include "services/activity.h"
#include "services/core_context.h"
#include "web/html_tables.h"
#include "web/http_request.h"

namespace kestrova {

namespace {

constexpr std::string_view kTag = "Get_TFData";

/// What a data file name promises about the file's header key.
struct RequestedFile {
    bool dayFile = false;
    std::string yearMonth;  ///< "yyyymm" of a month file
};

RequestedFile classify(std::string_view name) {
    if (!isDataFileName(name)) {
        throw DataFileError("データファイル名が正しくありません。(" + std::string(name) + ")");
    }
    RequestedFile file;
    file.dayFile = name.size() == kDayFileNameLength;
    if (!file.dayFile) {
        file.yearMonth = "20" + std::string(name.substr(2, 4));  // "TFyymm.html"
    }
    return file;
}

/// Characters `start`.. of a key, as many as there are (the platform's Mid).
std::string_view mid(std::string_view text, std::size_t start, std::size_t count) {
    return start < text.size() ? text.substr(start, count) : std::string_view{};
}

std::string progressLine(std::string_view key, bool thisWeek) {
    std::string line(mid(key, 0, 4));
    line += "年";
    line += mid(key, 4, 2);
    line += "月";
    if (thisWeek) {
        line += mid(key, 6, 2);
        line += "日 今週データを取得中...";
    } else {
        line += " 蓄積データを取得中...";
    }
    return line;
}

/// Stores each row as it is parsed and reads the header key from the first cell of a
/// table's first row.
class TableFiller final : public TableRowSink {
  public:
    TableFiller(CoreContext& ctx, ExportState& state, std::string_view fileName, RequestedFile file)
        : ctx_(ctx), state_(state), file_(std::move(file)), name_(fileName) {}

    void onRow(std::size_t /*table*/, std::size_t row,
               std::span<const std::string_view> cells) override {
        if (row == 0 && !cells.empty()) {
            takeHeader(trimSpaces(cells.front()));
        }
        state_.TFDataTable.setRow(row, cells);
        ++state_.TFDataRowCount;
    }

    /// The header key; a page without a header cell is not a data file.
    std::string finish() {
        if (!headerSeen_) {
            throw DataFileError("データファイルに表がありません。(" + name_ + ")");
        }
        return std::move(key_);
    }

  private:
    void takeHeader(std::string_view cell) {
        const std::string_view key = cell.substr(0, cell.find(':'));
        if (file_.dayFile ? !isValidDayKey(key) : !key.starts_with(file_.yearMonth)) {
            throw DataFileError("データファイルの見出し「" + std::string(key) +
                                "」が要求したファイルと合いません。(" + name_ + ")");
        }
        key_ = std::string(key);
        headerSeen_ = true;
        LogOut(ctx_.ui, ctx_.log, progressLine(key, state_.ThisWeekMode != 0));
    }

    CoreContext& ctx_;
    ExportState& state_;
    RequestedFile file_;
    std::string name_;
    std::string key_;
    bool headerSeen_ = false;
};

/// Passes the body to the table reader only when it is the data file itself.
class DownloadSink final : public BodySink {
  public:
    DownloadSink(bool parse, HtmlTableReader& reader, ExportState& state, const SsLogging& log)
        : parse_(parse), reader_(reader), state_(state), log_(log) {}

    void onResponseStart(int status, std::string_view contentType) override {
        parsing_ = parse_ && status == 200;
        if (!parsing_) {
            return;
        }
        log_.TraceLog(std::string(kTag) + "1");
        log_.TraceLog(std::string(kTag) + "2");
        state_.TFDataRowCount = 0;
        state_.TFDataTable.clear();
        reader_.onResponseStart(status, contentType);
    }

    void onBody(std::string_view chunk) override {
        if (parsing_) {
            reader_.onBody(chunk);
        }
    }

    bool parsing() const { return parsing_; }

  private:
    bool parse_;
    HtmlTableReader& reader_;
    ExportState& state_;
    const SsLogging& log_;
    bool parsing_ = false;
};

}  // namespace

TFDataResult Get_TFData(CoreContext& ctx, ExportState& state, std::string_view fileName,
                        bool probeOnly) {
    ctx.log.TraceLog(kTag);
    TFDataResult result;
    try {
        const RequestedFile file = classify(fileName);
        HttpRequest http = CreateHttpRequest(ctx.http);
        http.Open("GET", ctx.memberServer.dataFileUrl(fileName));

        TableFiller filler(ctx, state, fileName, file);
        HtmlTableReader reader(filler);
        DownloadSink sink(!probeOnly, reader, state, ctx.log);
        http.send({}, sink);
        result.status = http.Status();
        if (sink.parsing()) {
            reader.finish();
            result.key = filler.finish();
            --state.TFDataRowCount;  // the header row
            LogOut(ctx.ui, ctx.log, std::to_string(state.TFDataRowCount) + "件取得しました...");
            ctx.log.TraceLog(std::string(kTag) + "3");
        }
        result.ok = true;
    } catch (const std::exception& e) {
        reportFailure(ctx, kTag, e.what());
        result.ok = false;
    }
    return result;
}

}  // namespace kestrova
