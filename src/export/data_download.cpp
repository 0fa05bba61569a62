#include "export/data_download.h"

#include <exception>
#include <optional>
#include <span>
#include <utility>

#include "base/errors.h"
#include "base/text.h"
#include "export/data_file_names.h"
#include "export/export_state.h"
#include "services/activity.h"
#include "services/core_context.h"
#include "web/html_tables.h"
#include "web/http_request.h"

namespace kestrova {

namespace {

constexpr std::string_view kTag = "Get_TFData";

/// A data file holds at most 9,999 records of 120 cells, a few bytes of text and markup
/// each on the vendor's pages (a full month is under 10 MB). Four times that, and a row or
/// an unfinished tag far beyond any record, is a page that is not a data file; stopping
/// there keeps the download's memory small whatever a server sends.
constexpr std::size_t kMaxDataFileBytes = 64u << 20;
constexpr HtmlLimits kDataFileLimits{.maxRowText = 1u << 20, .maxUnparsed = 1u << 20};

/// What a data file name promises about the file's header key.
struct RequestedFile {
    bool dayFile = false;
    /// The day yyyymmdd of a day file (its key exactly) or the yyyymm of a month file (the
    /// beginning of its key); every record is dated in it.
    std::string period;

    bool matches(std::string_view key) const {
        return dayFile ? key == period : key.starts_with(period);
    }
};

RequestedFile classify(std::string_view name) {
    if (!isDataFileName(name)) {
        throw DataFileError("データファイル名が正しくありません。(" + std::string(name) + ")");
    }
    RequestedFile file;
    file.dayFile = name.size() == kDayFileNameLength;
    // "TFyymm.html" or "TFyymmdd.html"
    file.period = "20" + std::string(name.substr(2, file.dayFile ? 6 : 4));
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

/// Stores the rows of the data table as they are parsed: the first table whose header key
/// (its first cell up to ":") fits the file asked for. Other tables, a page's menus or a
/// second copy of the data, are left out.
class TableFiller final : public TableRowSink {
  public:
    TableFiller(CoreContext& ctx, ExportState& state, std::string_view fileName, RequestedFile file)
        : ctx_(ctx), state_(state), file_(std::move(file)), name_(fileName) {}

    void onRow(std::size_t table, std::size_t row,
               std::span<const std::string_view> cells) override {
        if (!taken_) {
            if (row != 0 || cells.empty() || !takeHeader(table, trimSpaces(cells.front()))) {
                return;
            }
        } else if (table != *taken_) {
            return;
        }
        state_.TFDataTable.setRow(row, cells);
        ++state_.TFDataRowCount;
    }

    void onTableEnd(std::size_t table, bool closed) override {
        if (taken_ == table) {
            closed_ = closed;
        }
    }

    /// The header key, once the page has ended. A page without the data table, or whose
    /// data table was cut off before its end, is not the data file.
    std::string finish() {
        if (!taken_) {
            if (otherKey_) {
                throw DataFileError("データファイルの見出し「" + *otherKey_ +
                                    "」が要求したファイルと合いません。(" + name_ + ")");
            }
            throw DataFileError("データファイルに表がありません。(" + name_ + ")");
        }
        if (!closed_) {
            throw DataFileError("データファイルが途中で終わっています。(" + name_ + ")");
        }
        return std::move(key_);
    }

  private:
    bool takeHeader(std::size_t table, std::string_view cell) {
        const std::string_view key = cell.substr(0, cell.find(':'));
        if (!file_.matches(key)) {
            if (!otherKey_) {
                otherKey_ = std::string(key);
            }
            return false;
        }
        taken_ = table;
        key_ = std::string(key);
        LogOut(ctx_.ui, ctx_.log, progressLine(key, state_.ThisWeekMode != 0));
        return true;
    }

    CoreContext& ctx_;
    ExportState& state_;
    RequestedFile file_;
    std::string name_;
    std::string key_;
    std::optional<std::size_t> taken_;
    std::optional<std::string> otherKey_;
    bool closed_ = false;
};

/// Passes the body to the table reader only when it is the data file itself, and refuses a
/// body larger than any data file can be.
class DownloadSink final : public BodySink {
  public:
    DownloadSink(bool parse, HtmlTableReader& reader, ExportState& state, const SsLogging& log,
                 std::string_view fileName)
        : parse_(parse), reader_(reader), state_(state), log_(log), name_(fileName) {}

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
        if (!parsing_) {
            return;
        }
        received_ += chunk.size();
        if (received_ > kMaxDataFileBytes) {
            throw DataFileError("データファイルが大きすぎます（上限 " +
                                std::to_string(kMaxDataFileBytes >> 20) + " MB）。(" + name_ + ")");
        }
        reader_.onBody(chunk);
    }

    bool parsing() const { return parsing_; }

  private:
    bool parse_;
    HtmlTableReader& reader_;
    ExportState& state_;
    const SsLogging& log_;
    std::string name_;
    bool parsing_ = false;
    std::size_t received_ = 0;
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
        HtmlTableReader reader(filler, kDataFileLimits);
        DownloadSink sink(!probeOnly, reader, state, ctx.log, fileName);
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
    } catch (const StopRequested&) {
        throw;  // not a failure of the download
    } catch (const std::exception& e) {
        reportFailure(ctx, kTag, e);
        result.ok = false;
    }
    return result;
}

}  // namespace kestrova
