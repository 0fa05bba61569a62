#include "export/data_download.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <utility>

#include "base/errors.h"
#include "base/text.h"
#include "export/data_file_names.h"
#include "export/export_state.h"
#include "services/activity.h"
#include "services/core_context.h"
#include "services/data_cache.h"
#include "web/content_decoder.h"
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
// The cache reads back no larger entry: a body within this limit must fit.
static_assert(DataCache::kMaxBodyBytes >= kMaxDataFileBytes + kMaxDataFileBytes / 64);
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
        LogOut(ctx_.ui, ctx_.log, progressLine(key, file_.dayFile));
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

/// Passes the body to the table reader only when it is the data file itself, inflating it
/// as its Content-Encoding says, keeps the bytes as sent for the cache, and refuses a body
/// larger than any data file can be.
class DownloadSink final : public BodySink {
  public:
    using Headers = std::function<std::string(std::string_view)>;

    DownloadSink(bool parse, bool forCache, HtmlTableReader& reader, ExportState& state,
                 const SsLogging& log, std::string_view fileName, Headers headers)
        : parse_(parse),
          forCache_(forCache),
          reader_(reader),
          state_(state),
          log_(log),
          headers_(std::move(headers)),
          limit_(kMaxDataFileBytes, "データファイル", fileName) {}

    void onResponseStart(int status, std::string_view contentType) override {
        parsing_ = parse_ && status == 200;
        if (!parsing_) {
            return;
        }
        start(contentType, headers_("Content-Encoding"));
        keepSent_ = forCache_ && (!headers_("ETag").empty() || !headers_("Last-Modified").empty());
    }

    /// Parses the file as the cache kept it (the server answered 304).
    void replay(const DataCache::Entry& entry) {
        parsing_ = true;
        start(entry.contentType, entry.contentEncoding);
        feed(entry.body);
    }

    /// Parses a body that arrived whole (fetched ahead); it is not kept twice.
    void replayAnswer(int status, std::string_view contentType, std::string_view body) {
        onResponseStart(status, contentType);
        keepSent_ = false;
        if (parsing_) {
            feed(body);
        }
    }

    void onBody(std::string_view chunk) override {
        if (!parsing_) {
            return;
        }
        if (keepSent_) {
            sent_.append(chunk);
        }
        onSentBytes(chunk);
    }

    /// The body ended: the compressed stream must have ended too.
    void finish() { decoder_->finish(); }

    bool parsing() const { return parsing_; }
    /// The body as sent, when the answer carried a validator.
    std::string& sentBytes() { return sent_; }
    bool keptSentBytes() const { return keepSent_; }

  private:
    void feed(std::string_view body) {
        // Pieces of the size libcurl hands over: the buffers behind the reader then stay in
        // the processor's cache. Pieces of 256 KB inflate to megabytes, and a re-export from
        // the cache took a third longer.
        constexpr std::size_t kPiece = 16 * 1024;
        for (std::size_t at = 0; at < body.size(); at += kPiece) {
            onSentBytes(body.substr(at, kPiece));
        }
    }

    void start(std::string_view contentType, std::string_view contentEncoding) {
        log_.TraceLog(std::string(kTag) + "1");
        log_.TraceLog(std::string(kTag) + "2");
        state_.TFDataRowCount = 0;
        state_.TFDataTable.clear();
        decoder_.emplace(contentEncoding);
        reader_.onResponseStart(200, contentType);
    }

    void onSentBytes(std::string_view bytes) {
        std::string_view page = bytes;
        if (decoder_->inflates()) {
            page_.clear();
            decoder_->decode(bytes, page_);
            page = page_;
        }
        // The page itself counts: a small compressed body may inflate without end.
        limit_.count(page.size());
        reader_.onBody(page);
    }

    bool parse_;
    bool forCache_;
    HtmlTableReader& reader_;
    ExportState& state_;
    const SsLogging& log_;
    Headers headers_;
    bool parsing_ = false;
    bool keepSent_ = false;
    std::optional<ContentDecoder> decoder_;
    std::string page_;
    std::string sent_;
    BodyLimit limit_;
};

/// "1.2 MB" for the log.
std::string megabytes(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1 << 20));
    return text;
}

/// Stores a file the server sent with a validator. A cache that cannot be written costs the
/// next export a download, nothing more: it is said once in the log.
void keepInCache(CoreContext& ctx, DataCache& cache, std::string_view fileName,
                 const DataCache::Entry& sent) {
    try {
        cache.store(fileName, sent);
    } catch (const std::exception& e) {
        ctx.log.WarnLog(std::string(kTag) + ": キャッシュに保存できませんでした。" +
                        describeError(e));
    }
}

/// The request for a data file; conditional when the cache holds a copy. The bytes as sent
/// come back: the cache keeps them, the reader inflates them itself.
HttpRequest openDataFileRequest(const HttpOptions& options, const MemberServer& server,
                                std::string_view fileName,
                                const std::optional<DataCache::Entry>& cached) {
    HttpRequest request = CreateHttpRequest(options);
    request.Open("GET", server.dataFileUrl(fileName));
    if (cached && !cached->etag.empty()) {
        request.setRequestHeader("If-None-Match", cached->etag);
    } else if (cached && !cached->lastModified.empty()) {
        request.setRequestHeader("If-Modified-Since", cached->lastModified);
    }
    request.setContentDecoding(false);
    return request;
}

/// A data file's answer is held whole only up to this; a larger one (no real data file is)
/// is fetched again in its turn, read while it arrives and stopped at its limits.
constexpr std::size_t kMaxAheadBytes = 24u << 20;

}  // namespace

struct DataFilePrefetch::Answer {
    bool whole = false;
    int status = 0;
    DataCache::Entry sent;  ///< the answer's headers and body as sent
    std::uint64_t received = 0;
    std::optional<DataCache::Entry> cached;  ///< what the request asked to be compared with
};

struct DataFilePrefetch::State {
    /// The exchange, on its own thread: nothing here reaches the user.
    void fetch(HttpOptions http, const MemberServer& server, DataCache* cache,
               const std::string& fileName);

    std::atomic<bool> cancel{false};
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    Answer answer;
    std::thread thread;
};

void DataFilePrefetch::State::fetch(HttpOptions http, const MemberServer& server, DataCache* cache,
                                    const std::string& fileName) {
    Answer fetched;
    try {
        if (cache != nullptr) {
            fetched.cached = cache->find(fileName);
        }
        http.breathe = [this] {
            if (cancel) {
                throw StopRequested();
            }
        };
        HttpRequest request = openDataFileRequest(http, server, fileName, fetched.cached);
        struct Holder final : BodySink {
            explicit Holder(std::string& body) : body_(body) {}
            void onResponseStart(int, std::string_view) override {}
            void onBody(std::string_view chunk) override {
                if (body_.size() + chunk.size() > kMaxAheadBytes) {
                    throw DataFileError("");  // too large to hold: fetched again in its turn
                }
                body_.append(chunk);
            }
            std::string& body_;
        } holder(fetched.sent.body);
        request.send({}, holder);
        fetched.status = request.Status();
        fetched.sent.etag = request.responseHeader("ETag");
        fetched.sent.lastModified = request.responseHeader("Last-Modified");
        fetched.sent.contentEncoding = request.responseHeader("Content-Encoding");
        fetched.sent.contentType = request.contentType();
        fetched.received = request.bytesReceived();
        fetched.whole = true;
    } catch (...) {
        // Whatever went wrong is met again, and reported, in its turn.
        fetched.whole = false;
        fetched.sent.body.clear();
    }
    const std::lock_guard lock(mutex);
    answer = std::move(fetched);
    finished = true;
    done.notify_all();
}

DataFilePrefetch::DataFilePrefetch(const CoreContext& ctx, std::string fileName)
    : fileName_(std::move(fileName)), state_(std::make_shared<State>()) {
    state_->thread = std::thread([state = state_, http = ctx.http, server = ctx.memberServer,
                                  cache = ctx.dataCache,
                                  name = fileName_] { state->fetch(http, server, cache, name); });
}

DataFilePrefetch::~DataFilePrefetch() {
    state_->cancel = true;
    state_->thread.join();
}

DataFilePrefetch::Answer* DataFilePrefetch::wait(CoreContext& ctx) {
    std::unique_lock lock(state_->mutex);
    while (!state_->done.wait_for(lock, std::chrono::milliseconds(40),
                                  [this] { return state_->finished; })) {
        lock.unlock();
        if (ctx.http.breathe) {
            ctx.http.breathe();  // the front end's pulse, and the user's stop
        }
        lock.lock();
    }
    return state_->answer.whole ? &state_->answer : nullptr;
}

TFDataResult Get_TFData(CoreContext& ctx, ExportState& state, std::string_view fileName,
                        bool probeOnly, DataFilePrefetch* ahead) {
    ctx.log.TraceLog(kTag);
    TFDataResult result;
    try {
        const RequestedFile file = classify(fileName);
        DataCache* const cache = probeOnly ? nullptr : ctx.dataCache;
        DataFilePrefetch::Answer* const early =
            ahead != nullptr && ahead->fileName() == fileName && !probeOnly ? ahead->wait(ctx)
                                                                            : nullptr;
        TableFiller filler(ctx, state, fileName, file);
        HtmlTableReader reader(filler, kDataFileLimits);
        std::optional<HttpRequest> http;
        std::optional<DataCache::Entry> cached;
        DownloadSink::Headers header;
        std::string contentType;
        std::uint64_t received = 0;
        if (early != nullptr) {
            header = [&sent = early->sent](std::string_view name) -> std::string {
                if (name == "ETag") {
                    return sent.etag;
                }
                if (name == "Last-Modified") {
                    return sent.lastModified;
                }
                return name == "Content-Encoding" ? sent.contentEncoding : std::string();
            };
        } else {
            cached = cache ? cache->find(fileName) : std::nullopt;
            http.emplace(openDataFileRequest(ctx.http, ctx.memberServer, fileName, cached));
            header = [&http](std::string_view name) { return http->responseHeader(name); };
        }
        DownloadSink sink(!probeOnly, cache != nullptr, reader, state, ctx.log, fileName, header);
        const std::optional<DataCache::Entry>& compared = early ? early->cached : cached;
        if (early != nullptr) {
            result.status = early->status;
            contentType = early->sent.contentType;
            received = early->received;
            if (result.status != 304) {
                sink.replayAnswer(result.status, contentType, early->sent.body);
            }
        } else {
            http->send({}, sink);
            result.status = http->Status();
            contentType = http->contentType();
            received = http->bytesReceived();
        }
        const std::string name(fileName);
        if (result.status == 304 && compared && !probeOnly) {
            sink.replay(*compared);
            cache->touch(fileName);
            result.status = 200;
            ctx.log.InfoLog(std::string(kTag) + ": " + name +
                            " は変更がないため、キャッシュから読み込みました。");
        } else if (sink.parsing()) {
            const std::string encoding = header("Content-Encoding");
            ctx.log.InfoLog(std::string(kTag) + ": " + name + " をサーバーから取得しました（" +
                            megabytes(received) + (encoding.empty() ? "" : "、" + encoding) +
                            "）。");
        } else if (result.status == 304) {
            throw DataFileError("サーバーが問い合わせていない更新の有無を答えました。(" + name +
                                ")");
        }
        if (sink.parsing()) {
            sink.finish();
            reader.finish();
            result.key = filler.finish();
            --state.TFDataRowCount;  // the header row
            LogOut(ctx.ui, ctx.log, std::to_string(state.TFDataRowCount) + "件取得しました...");
            ctx.log.TraceLog(std::string(kTag) + "3");
            if (cache && sink.keptSentBytes()) {
                keepInCache(ctx, *cache, fileName,
                            {.etag = header("ETag"),
                             .lastModified = header("Last-Modified"),
                             .contentEncoding = header("Content-Encoding"),
                             .contentType = contentType,
                             .body = std::move(sink.sentBytes())});
            } else if (cache && early != nullptr && early->status == 200 &&
                       (!early->sent.etag.empty() || !early->sent.lastModified.empty())) {
                keepInCache(ctx, *cache, fileName, early->sent);
            }
        }
        result.ok = true;
    } catch (const StopRequested&) {
        throw;  // not a failure of the download
    } catch (const std::exception& e) {
        reportFailure(ctx, kTag, e);
        result.ok = false;
        result.failure = describeError(e);
    }
    return result;
}

}  // namespace kestrova
