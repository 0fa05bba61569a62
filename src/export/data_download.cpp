#include "export/data_download.h"

#include <exception>
#include <span>
#include <utility>

#include "export/export_state.h"
#include "export/race_keys.h"
#include "services/activity.h"
#include "services/core_context.h"
#include "services/text.h"
#include "web/html_tables.h"
#include "web/http_request.h"

namespace kestrova {

namespace {

constexpr std::string_view kTag = "Get_TFData";
constexpr std::string_view kPrefix = "TF";
constexpr std::string_view kSuffix = ".html";

/// What a data file name promises about the file's header key.
struct RequestedFile {
    bool dayFile = false;
    std::string yearMonth;  ///< "yyyymm" of a month file
};

RequestedFile classify(std::string_view name) {
    if (!isDataFileName(name)) {
        throw DataFileError("データファイル名が正しくありません。(" + std::string(name) + ")");
    }
    const std::string_view digits =
        name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    RequestedFile file;
    file.dayFile = digits.size() == 6;
    if (!file.dayFile) {
        file.yearMonth = "20" + std::string(digits);
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
    TableFiller(CoreContext& ctx, ExportState& state, std::string& request, RequestedFile file)
        : ctx_(ctx), state_(state), request_(request), file_(std::move(file)), name_(request) {}

    void onRow(std::size_t /*table*/, std::size_t row,
               std::span<const std::string_view> cells) override {
        if (row == 0 && !cells.empty()) {
            takeHeader(trimSpaces(cells.front()));
        }
        state_.TFDataTable.setRow(row, cells);
        ++state_.TFDataRowCount;
    }

    /// A page without a header cell is not a data file.
    void finish() const {
        if (!headerSeen_) {
            throw DataFileError("データファイルに表がありません。(" + name_ + ")");
        }
    }

  private:
    void takeHeader(std::string_view cell) {
        const std::string_view key = cell.substr(0, cell.find(':'));
        if (file_.dayFile ? !isValidDayKey(key) : !key.starts_with(file_.yearMonth)) {
            throw DataFileError("データファイルの見出し「" + std::string(key) +
                                "」が要求したファイルと合いません。(" + name_ + ")");
        }
        request_ = std::string(key);
        headerSeen_ = true;
        LogOut(ctx_.ui, ctx_.log, progressLine(key, state_.ThisWeekMode != 0));
    }

    CoreContext& ctx_;
    ExportState& state_;
    std::string& request_;
    RequestedFile file_;
    std::string name_;
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

bool isDataFileName(std::string_view fileName) {
    if (!fileName.starts_with(kPrefix) || !fileName.ends_with(kSuffix)) {
        return false;
    }
    const std::string_view digits = fileName.substr(
        kPrefix.size(),
        fileName.size() - std::min(fileName.size(), kPrefix.size() + kSuffix.size()));
    return (digits.size() == 4 || digits.size() == 6) && isAsciiDigits(digits);
}

bool Get_TFData(CoreContext& ctx, ExportState& state, std::string& request, std::int32_t& status,
                bool probeOnly) {
    ctx.log.TraceLog(kTag);
    status = 0;
    try {
        const RequestedFile file = classify(request);
        HttpRequest http = CreateHttpRequest(ctx.http);
        http.Open("GET", ctx.memberServer.dataFileUrl(request));

        TableFiller filler(ctx, state, request, file);
        HtmlTableReader reader(filler);
        DownloadSink sink(!probeOnly, reader, state, ctx.log);
        http.send({}, sink);
        status = http.Status();
        if (!sink.parsing()) {
            return true;
        }
        reader.finish();
        filler.finish();

        --state.TFDataRowCount;  // the header row
        LogOut(ctx.ui, ctx.log, std::to_string(state.TFDataRowCount) + "件取得しました...");
        ctx.log.TraceLog(std::string(kTag) + "3");
        return true;
    } catch (const std::exception& e) {
        reportFailure(ctx, kTag, e.what());
        return false;
    }
}

}  // namespace kestrova
