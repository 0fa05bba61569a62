#include "export/data_download.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
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

/// Reads a data file's body into the records table when it is the data file itself (status
/// 200, not a probe), inflating it as its Content-Encoding says and refusing a page larger
/// than any data file can be; keeps the bytes as sent when the cache is to store them.
class DataFileReader {
  public:
    DataFileReader(CoreContext& ctx, ExportState& state, std::string_view fileName,
                   RequestedFile file, bool parse)
        : parse_(parse),
          state_(state),
          log_(ctx.log),
          filler_(ctx, state, fileName, std::move(file)),
          reader_(filler_, kDataFileLimits),
          limit_(kMaxDataFileBytes, "データファイル", fileName) {}

    /// An answer begins; its body is read only when it is the data file.
    void begin(int status, std::string_view contentType, std::string_view contentEncoding,
               bool keepSent) {
        reading_ = parse_ && status == 200;
        if (!reading_) {
            return;
        }
        log_.TraceLog(std::string(kTag) + "1");
        log_.TraceLog(std::string(kTag) + "2");
        state_.TFDataRowCount = 0;
        state_.TFDataTable.clear();
        decoder_.emplace(contentEncoding);
        reader_.onResponseStart(200, contentType);
        keepSent_ = keepSent;
    }

    /// The next piece of a body as it arrives.
    void onBody(std::string_view chunk) {
        if (!reading_) {
            return;
        }
        if (keepSent_) {
            sent_.append(chunk);
        }
        onSentBytes(chunk);
    }

    /// An answer that is here whole (fetched ahead, or the cached copy); its body is not kept
    /// twice.
    void readWhole(int status, const DataCache::Entry& sent) {
        begin(status, sent.contentType, sent.contentEncoding, false);
        if (!reading_) {
            return;
        }
        // Pieces of the size libcurl hands over keep the buffers behind the reader in the
        // processor's cache; larger pieces inflate to megabytes.
        constexpr std::size_t kPiece = 16 * 1024;
        const std::string_view body = sent.body;
        for (std::size_t at = 0; at < body.size(); at += kPiece) {
            onSentBytes(body.substr(at, kPiece));
        }
    }

    bool reading() const { return reading_; }
    /// The body as sent, when it was kept.
    std::string takeSent() { return std::move(sent_); }

    /// The body ended (the compressed stream must have ended too): the header key.
    std::string finish() {
        decoder_->finish();
        reader_.finish();
        return filler_.finish();
    }

  private:
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
    ExportState& state_;
    const SsLogging& log_;
    TableFiller filler_;
    HtmlTableReader reader_;
    bool reading_ = false;
    bool keepSent_ = false;
    std::optional<ContentDecoder> decoder_;
    std::string page_;
    std::string sent_;
    BodyLimit limit_;
};

/// A live answer's body, handed to the reader as it arrives.
class LiveBody final : public BodySink {
  public:
    LiveBody(const HttpRequest& request, DataFileReader& file, bool forCache)
        : request_(request), file_(file), forCache_(forCache) {}

    void onResponseStart(int status, std::string_view contentType) override {
        const bool validated = !request_.responseHeader("ETag").empty() ||
                               !request_.responseHeader("Last-Modified").empty();
        file_.begin(status, contentType, request_.responseHeader("Content-Encoding"),
                    forCache_ && validated);
    }
    void onBody(std::string_view chunk) override { file_.onBody(chunk); }

  private:
    const HttpRequest& request_;
    DataFileReader& file_;
    bool forCache_;
};

/// "1.2 MB" for the log.
std::string megabytes(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1 << 20));
    return text;
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
    int status = 0;
    DataCache::Entry sent;  ///< the answer's headers, and its body when it is to be read or kept
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
    std::optional<Answer> answer;  ///< nothing when it could not be fetched whole
    std::thread thread;
};

void DataFilePrefetch::State::fetch(HttpOptions http, const MemberServer& server, DataCache* cache,
                                    const std::string& fileName) {
    std::optional<Answer> fetched;
    try {
        Answer whole;
        if (cache != nullptr) {
            whole.cached = cache->find(fileName);
        }
        http.breathe = [this] {
            if (cancel) {
                throw StopRequested();
            }
        };
        HttpRequest request = openDataFileRequest(http, server, fileName, whole.cached);
        // A larger answer is not held here: it is fetched again in its turn.
        struct Holder final : BodySink {
            Holder(std::string& body, const std::string& name)
                : body_(body), limit_(kMaxAheadBytes, "先読みするデータファイル", name) {}
            void onResponseStart(int, std::string_view) override {}
            void onBody(std::string_view chunk) override {
                limit_.count(chunk.size());
                body_.append(chunk);
            }
            std::string& body_;
            BodyLimit limit_;
        } holder(whole.sent.body, fileName);
        request.send({}, holder);
        whole.status = request.Status();
        whole.sent.etag = request.responseHeader("ETag");
        whole.sent.lastModified = request.responseHeader("Last-Modified");
        whole.sent.contentEncoding = request.responseHeader("Content-Encoding");
        whole.sent.contentType = request.contentType();
        whole.received = request.bytesReceived();
        fetched = std::move(whole);
    } catch (...) {
        // Whatever went wrong is met again, and reported, in its turn.
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

std::optional<DataFilePrefetch::Answer> DataFilePrefetch::take(CoreContext& ctx) {
    std::unique_lock lock(state_->mutex);
    while (!state_->done.wait_for(lock, std::chrono::milliseconds(40),
                                  [this] { return state_->finished; })) {
        lock.unlock();
        if (ctx.http.breathe) {
            ctx.http.breathe();  // the front end's pulse, and the user's stop
        }
        lock.lock();
    }
    return std::exchange(state_->answer, std::nullopt);
}

namespace {

using DataFileAnswer = DataFilePrefetch::Answer;

/// The answer to the request for `fileName`: the one fetched ahead when there is one, else a
/// live exchange, conditional when the cache holds a copy. A 200 answer's body goes through
/// `file` either way; the answer keeps its bytes as sent when the cache is to store them.
DataFileAnswer obtainAnswer(CoreContext& ctx, DataCache* cache, std::string_view fileName,
                            DataFilePrefetch* ahead, DataFileReader& file) {
    if (ahead != nullptr && ahead->fileName() == fileName) {
        if (std::optional<DataFileAnswer> early = ahead->take(ctx)) {
            file.readWhole(early->status, early->sent);
            return std::move(*early);
        }
    }
    DataFileAnswer answer;
    answer.cached = cache != nullptr ? cache->find(fileName) : std::nullopt;
    HttpRequest request = openDataFileRequest(ctx.http, ctx.memberServer, fileName, answer.cached);
    LiveBody live(request, file, cache != nullptr);
    request.send({}, live);
    answer.status = request.Status();
    answer.sent = {.etag = request.responseHeader("ETag"),
                   .lastModified = request.responseHeader("Last-Modified"),
                   .contentEncoding = request.responseHeader("Content-Encoding"),
                   .contentType = request.contentType(),
                   .body = file.takeSent()};
    answer.received = request.bytesReceived();
    return answer;
}

/// What the answer means. A 304 reads the copy the request was compared with and a 200 was
/// read as it came: either ends with the whole table, its header key and status 200. Any
/// other status leaves the table alone; the caller judges it.
void interpretAnswer(CoreContext& ctx, ExportState& state, DataCache* cache,
                     std::string_view fileName, const DataFileAnswer& answer, DataFileReader& file,
                     TFDataResult& result) {
    const std::string name(fileName);
    result.status = answer.status;
    if (answer.status == 304 && answer.cached && cache != nullptr) {
        file.readWhole(200, *answer.cached);
        cache->touch(fileName);
        result.status = 200;
        ctx.log.InfoLog(std::string(kTag) + ": " + name +
                        " は変更がないため、キャッシュから読み込みました。");
    } else if (file.reading()) {
        const std::string& encoding = answer.sent.contentEncoding;
        ctx.log.InfoLog(std::string(kTag) + ": " + name + " をサーバーから取得しました（" +
                        megabytes(answer.received) + (encoding.empty() ? "" : "、" + encoding) +
                        "）。");
    } else if (answer.status == 304) {
        throw DataFileError("サーバーが問い合わせていない更新の有無を答えました。(" + name + ")");
    }
    if (!file.reading()) {
        return;
    }
    result.key = file.finish();
    --state.TFDataRowCount;  // the header row
    LogOut(ctx.ui, ctx.log, std::to_string(state.TFDataRowCount) + "件取得しました...");
    ctx.log.TraceLog(std::string(kTag) + "3");
}

/// Stores a file the server sent with a validator. A cache that cannot be written costs the
/// next export a download, nothing more: it is said once in the log.
void storeAnswer(CoreContext& ctx, DataCache* cache, std::string_view fileName,
                 const DataFileAnswer& answer) {
    if (cache == nullptr || answer.status != 200 ||
        (answer.sent.etag.empty() && answer.sent.lastModified.empty())) {
        return;
    }
    try {
        cache->store(fileName, answer.sent);
    } catch (const std::exception& e) {
        ctx.log.WarnLog(std::string(kTag) + ": キャッシュに保存できませんでした。" +
                        describeError(e));
    }
}

}  // namespace

TFDataResult Get_TFData(CoreContext& ctx, ExportState& state, std::string_view fileName,
                        bool probeOnly, DataFilePrefetch* ahead) {
    ctx.log.TraceLog(kTag);
    TFDataResult result;
    try {
        DataFileReader file(ctx, state, fileName, classify(fileName), !probeOnly);
        DataCache* const cache = probeOnly ? nullptr : ctx.dataCache;
        const DataFileAnswer answer =
            obtainAnswer(ctx, cache, fileName, probeOnly ? nullptr : ahead, file);
        interpretAnswer(ctx, state, cache, fileName, answer, file, result);
        storeAnswer(ctx, cache, fileName, answer);
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
