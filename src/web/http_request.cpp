#include "web/http_request.h"

#include <algorithm>
#include <array>
#include <exception>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include <curl/curl.h>

#include "base/atomic_file.h"
#include "base/text.h"
#include "web/content_decoder.h"
#include "web/http_errors.h"

namespace kestrova {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr long kReceiveBufferBytes = 256 * 1024;
constexpr long kMaxRedirects = 10;
// The window breathes at least every 50 ms; aiming a little earlier leaves room for the
// timer's slack and for the work of one poll round.
constexpr milliseconds kPollWait{50};
constexpr milliseconds kBreatheEvery{35};
constexpr milliseconds kBreatheTarget{42};
// Content-Length is the server's word; never reserve more than this up front.
constexpr curl_off_t kMaxReserve = 64 * 1024 * 1024;
constexpr const char* kSystemCaBundle = "/etc/ssl/certs/ca-certificates.crt";

bool globalInitOk() {
    struct Global {
        CURLcode code = curl_global_init(CURL_GLOBAL_DEFAULT);
        ~Global() {
            if (code == CURLE_OK) {
                curl_global_cleanup();
            }
        }
    };
    static const Global global;
    return global.code == CURLE_OK;
}

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

std::string readWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return {};
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Collects the body of a buffered send.
class BufferSink final : public BodySink {
  public:
    explicit BufferSink(std::string& out, std::optional<BodyLimit> limit = std::nullopt)
        : out_(out), limit_(std::move(limit)) {}
    void onResponseStart(int, std::string_view) override {}
    void onBody(std::string_view chunk) override {
        if (limit_) {
            limit_->count(chunk.size());
        }
        out_.append(chunk);
    }

  private:
    std::string& out_;
    std::optional<BodyLimit> limit_;
};

// One slice of a compressed body inflates to at most about a thousand times its size: the
// pieces a sink gets stay small enough for its limit to act before memory runs short.
constexpr std::size_t kInflateSlice = 4 * 1024;

std::string megabytesText(std::size_t bytes) {
    const std::size_t mb = bytes >> 20;
    return mb << 20 == bytes ? std::to_string(mb) + " MB" : std::to_string(bytes) + " バイト";
}

}  // namespace

struct ConnectionShare::Impl {
    Impl() : handle(globalInitOk() ? curl_share_init() : nullptr) {
        if (handle == nullptr) {
            throw HttpError(HttpErrorKind::Creation, httpCreationErrorText());
        }
        curl_share_setopt(handle, CURLSHOPT_LOCKFUNC, &Impl::lock);
        curl_share_setopt(handle, CURLSHOPT_UNLOCKFUNC, &Impl::unlock);
        curl_share_setopt(handle, CURLSHOPT_USERDATA, this);
        curl_share_setopt(handle, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
        curl_share_setopt(handle, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        curl_share_setopt(handle, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    }
    ~Impl() { curl_share_cleanup(handle); }

    // The window may look up this week's days while an export runs on another thread.
    static void lock(CURL*, curl_lock_data data, curl_lock_access, void* user) {
        static_cast<Impl*>(user)->mutexes[static_cast<std::size_t>(data) % kLocks].lock();
    }
    static void unlock(CURL*, curl_lock_data data, void* user) {
        static_cast<Impl*>(user)->mutexes[static_cast<std::size_t>(data) % kLocks].unlock();
    }

    static constexpr std::size_t kLocks = 8;
    CURLSH* handle;
    std::array<std::mutex, kLocks> mutexes;
};

ConnectionShare::ConnectionShare() : impl_(std::make_unique<Impl>()) {}
ConnectionShare::~ConnectionShare() = default;

struct HttpRequest::Impl {
    HttpOptions options;
    std::unique_ptr<CURLM, MultiDeleter> multi;
    std::unique_ptr<CURL, EasyDeleter> easy;
    std::string method;
    std::string url;
    std::vector<std::string> headerLines;
    HeaderList requestHeaders;  // libcurl keeps a pointer to it
    bool opened = false;
    bool contentTypeSet = false;

    int status = 0;
    std::string body;
    std::string contentType;
    std::vector<std::pair<std::string, std::string>> responseHeaders;
    char errorText[CURL_ERROR_SIZE] = {};
    bool decodeContent = true;
    bool acceptEncodingSet = false;
    std::optional<ContentDecoder> decoder;
    std::string decoded;
    std::uint64_t received = 0;

    // State of the running transfer, touched by the callbacks.
    BodySink* sink = nullptr;
    bool buffering = false;
    curl_off_t reserveLimit = kMaxReserve;
    bool started = false;
    bool activity = false;
    bool connected = false;
    curl_off_t uploaded = 0;
    std::exception_ptr sinkError;

    explicit Impl(HttpOptions opts) : options(std::move(opts)) {
        if (!globalInitOk()) {
            throw HttpError(HttpErrorKind::Creation, httpCreationErrorText());
        }
        multi.reset(curl_multi_init());
        easy.reset(curl_easy_init());
        if (!multi || !easy) {
            throw HttpError(HttpErrorKind::Creation, httpCreationErrorText());
        }
        configure();
    }

    void configure() {
        CURL* h = easy.get();
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
        curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Impl::onWrite);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &Impl::onHeader);
        curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, &Impl::onConnected);
        curl_easy_setopt(h, CURLOPT_PREREQDATA, this);
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &Impl::onProgress);
        curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(options.connectTimeout.count()));
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, options.lowSpeedBytesPerSecond);
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME,
                         static_cast<long>(options.lowSpeedTime.count()));
        curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects);
        // A POST sent on after a 301 or 302 stays a POST with its body, as the platform's
        // request object keeps it (a walk of the racing authority's pages depends on it).
        curl_easy_setopt(h, CURLOPT_POSTREDIR, CURL_REDIR_POST_301 | CURL_REDIR_POST_302);
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
        curl_easy_setopt(h, CURLOPT_USERAGENT, "Kestrova/" KESTROVA_VERSION);
        if (!options.extraCaFile.empty()) {
            trustExtraCa();
        }
        if (options.share) {
            curl_easy_setopt(h, CURLOPT_SHARE, options.share->impl().handle);
        }
    }

    // The blob replaces the default bundle, so it carries the system's CAs as well.
    void trustExtraCa() {
        std::string extra = readWholeFile(options.extraCaFile);
        if (extra.empty()) {
            throw HttpError(HttpErrorKind::Tls, "信頼する証明書ファイルを読み込めませんでした。(" +
                                                    pathText(options.extraCaFile) + ")");
        }
        char* defaultBundle = nullptr;
        curl_easy_getinfo(easy.get(), CURLINFO_CAINFO, &defaultBundle);
        std::string bundle = readWholeFile(defaultBundle ? defaultBundle : kSystemCaBundle);
        bundle += '\n';
        bundle += extra;
        curl_blob blob{bundle.data(), bundle.size(), CURL_BLOB_COPY};
        curl_easy_setopt(easy.get(), CURLOPT_CAINFO_BLOB, &blob);
    }

    void open(std::string_view newMethod, std::string_view newUrl) {
        method = newMethod;
        url = newUrl;
        headerLines.clear();
        contentTypeSet = false;
        acceptEncodingSet = false;
        status = 0;
        body.clear();
        contentType.clear();
        curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
        // Never follow a redirect from https down to http.
        curl_easy_setopt(easy.get(), CURLOPT_REDIR_PROTOCOLS_STR,
                         startsWithIgnoringAsciiCase(url, "https://") ? "https" : "http,https");
        opened = true;
    }

    void addHeader(std::string_view name, std::string_view value) {
        if (equalsIgnoringAsciiCase(name, "content-type")) {
            contentTypeSet = true;
        }
        if (equalsIgnoringAsciiCase(name, "accept-encoding")) {
            acceptEncodingSet = true;
        }
        headerLines.push_back(std::string(name) + ": " + std::string(value));
    }

    HeaderList buildHeaders() const {
        HeaderList list;
        auto append = [&list](const char* line) {
            curl_slist* grown = curl_slist_append(list.get(), line);
            if (!grown) {
                throw std::bad_alloc();
            }
            list.release();
            list.reset(grown);
        };
        for (const auto& line : headerLines) {
            append(line.c_str());
        }
        // A month file is a sixth of its size compressed; every server may answer plainly.
        if (!acceptEncodingSet && options.offerCompression) {
            append("Accept-Encoding: gzip, deflate");
        }
        // libcurl's own additions that the platform's request object does not make.
        append("Expect:");
        if (!contentTypeSet) {
            append("Content-Type:");
        }
        return list;
    }

    void setBody(std::string_view requestBody) {
        CURL* h = easy.get();
        if (method == "POST" || !requestBody.empty()) {
            curl_easy_setopt(h, CURLOPT_POST, 1L);
            curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(requestBody.size()));
            // A null pointer would make libcurl read the body from a callback.
            curl_easy_setopt(h, CURLOPT_POSTFIELDS, requestBody.empty() ? "" : requestBody.data());
            curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, method == "POST" ? nullptr : method.c_str());
        } else if (method == "HEAD") {
            curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
        } else {
            curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
            curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, method == "GET" ? nullptr : method.c_str());
        }
    }

    void startResponse() {
        started = true;
        long code = 0;
        curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &code);
        char* type = nullptr;
        curl_easy_getinfo(easy.get(), CURLINFO_CONTENT_TYPE, &type);
        status = static_cast<int>(code);
        contentType = type ? type : "";
        if (buffering) {
            curl_off_t length = -1;
            curl_easy_getinfo(easy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
            if (length > 0) {
                body.reserve(static_cast<std::size_t>(std::min(length, reserveLimit)));
            }
        }
        sink->onResponseStart(status, contentType);
    }

    static size_t onWrite(char* data, size_t size, size_t count, void* user) {
        auto* self = static_cast<Impl*>(user);
        const size_t bytes = size * count;
        self->activity = true;
        self->received += bytes;
        try {
            if (!self->started) {
                self->startResponse();
            }
            self->deliver(std::string_view(data, bytes));
        } catch (...) {
            self->sinkError = std::current_exception();
            return 0;  // aborts the transfer
        }
        return bytes;
    }

    static size_t onHeader(char* data, size_t size, size_t count, void* user) {
        auto* self = static_cast<Impl*>(user);
        self->activity = true;
        std::string_view line(data, size * count);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.remove_suffix(1);
        }
        if (line.starts_with("HTTP/")) {
            self->responseHeaders.clear();  // a redirect's own headers do not count
        } else if (const auto colon = line.find(':'); colon != std::string_view::npos) {
            self->responseHeaders.emplace_back(std::string(line.substr(0, colon)),
                                               std::string(trimSpaces(line.substr(colon + 1))));
        }
        return size * count;
    }

    std::string header(std::string_view name) const {
        for (const auto& [key, value] : responseHeaders) {
            if (equalsIgnoringAsciiCase(key, name)) {
                return value;
            }
        }
        return {};
    }

    /// Hands a piece of the body to the sink, inflated unless the caller wants it as sent.
    void deliver(std::string_view piece) {
        if (!decodeContent) {
            sink->onBody(piece);
            return;
        }
        if (!decoder) {
            decoder.emplace(header("Content-Encoding"));
        }
        if (!decoder->inflates()) {
            sink->onBody(piece);
            return;
        }
        for (std::size_t at = 0; at < piece.size(); at += kInflateSlice) {
            decoded.clear();
            decoder->decode(piece.substr(at, kInflateSlice), decoded);
            if (!decoded.empty()) {
                sink->onBody(decoded);
            }
        }
    }

    static int onConnected(void* user, char*, char*, int, int) {
        auto* self = static_cast<Impl*>(user);
        self->connected = true;
        self->activity = true;
        return CURL_PREREQFUNC_OK;
    }

    static int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t ulnow) {
        auto* self = static_cast<Impl*>(user);
        if (ulnow != self->uploaded) {
            self->uploaded = ulnow;
            self->activity = true;
        }
        return 0;
    }

    void perform(std::string_view requestBody, BodySink& target, bool buffer,
                 std::size_t reserveAtMost = kMaxReserve) {
        if (!opened) {
            throw std::logic_error("HttpRequest::send before Open");
        }
        status = 0;
        body.clear();
        contentType.clear();
        errorText[0] = '\0';
        sink = &target;
        buffering = buffer;
        reserveLimit = static_cast<curl_off_t>(std::min<std::size_t>(reserveAtMost, kMaxReserve));
        started = false;
        decoder.reset();
        received = 0;
        responseHeaders.clear();
        activity = false;
        connected = false;
        uploaded = 0;
        sinkError = nullptr;

        setBody(requestBody);
        requestHeaders = buildHeaders();
        curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, requestHeaders.get());

        // A failed transfer leaves no answer behind, not even part of one.
        CURLcode result = CURLE_OK;
        try {
            result = run(requestBody.size());
            if (sinkError) {
                std::rethrow_exception(std::exchange(sinkError, nullptr));
            }
            if (result != CURLE_OK) {
                throw httpTransferError(result, url, errorText);
            }
            if (decoder) {
                decoder->finish();
            }
        } catch (...) {
            status = 0;
            body.clear();
            throw;
        }
        if (!started) {
            startResponse();  // an answer without a body
        }
    }

    // Drives the transfer until it ends, breathing and watching for silence.
    CURLcode run(std::size_t bodySize) {
        if (curl_multi_add_handle(multi.get(), easy.get()) != CURLM_OK) {
            throw HttpError(HttpErrorKind::Transport,
                            "サーバーとの通信を開始できませんでした。(" + url + ")");
        }
        struct Detach {
            CURLM* multi;
            CURL* easy;
            ~Detach() { curl_multi_remove_handle(multi, easy); }
        } detach{multi.get(), easy.get()};

        auto lastActivity = Clock::now();
        auto lastBreath = lastActivity;
        for (;;) {
            int running = 0;
            const CURLMcode code = curl_multi_perform(multi.get(), &running);
            if (code != CURLM_OK) {
                throw HttpError(HttpErrorKind::Transport,
                                "サーバーとの通信に失敗しました。(" + url + ")",
                                std::string("libcurl multi: ") + curl_multi_strerror(code));
            }
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
                if (message->msg == CURLMSG_DONE) {
                    return message->data.result;
                }
            }

            const auto now = Clock::now();
            if (activity) {
                activity = false;
                lastActivity = now;
            } else if (connected) {
                const bool sending = uploaded < static_cast<curl_off_t>(bodySize);
                const auto limit = sending ? options.sendTimeout : options.receiveTimeout;
                if (now - lastActivity > limit) {
                    throw httpTimeoutError(url);
                }
            }
            if (options.breathe && now - lastBreath >= kBreatheEvery) {
                options.breathe();
                lastBreath = Clock::now();
            }
            auto wait = kPollWait;
            if (options.breathe) {
                const auto sinceBreath =
                    std::chrono::duration_cast<milliseconds>(Clock::now() - lastBreath);
                wait = std::clamp(kBreatheTarget - sinceBreath, milliseconds{1}, kPollWait);
            }
            curl_multi_poll(multi.get(), nullptr, 0, static_cast<int>(wait.count()), nullptr);
        }
    }
};

HttpRequest::HttpRequest(HttpOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}
HttpRequest::HttpRequest(HttpRequest&&) noexcept = default;
HttpRequest& HttpRequest::operator=(HttpRequest&&) noexcept = default;
HttpRequest::~HttpRequest() = default;

void HttpRequest::Open(std::string_view method, std::string_view url, bool async) {
    if (async) {
        throw std::invalid_argument("HttpRequest::Open: only synchronous requests exist");
    }
    impl_->open(method, url);
}

void HttpRequest::setRequestHeader(std::string_view name, std::string_view value) {
    if (!impl_->opened) {
        throw std::logic_error("HttpRequest::setRequestHeader before Open");
    }
    impl_->addHeader(name, value);
}

void HttpRequest::setContentDecoding(bool decode) {
    impl_->decodeContent = decode;
}

std::string HttpRequest::responseHeader(std::string_view name) const {
    return impl_->header(name);
}

std::uint64_t HttpRequest::bytesReceived() const {
    return impl_->received;
}

void HttpRequest::send(std::string_view body, BodyLimit limit) {
    const std::size_t most = limit.maxBytes();
    BufferSink sink(impl_->body, std::move(limit));
    impl_->perform(body, sink, true, most);
}

void HttpRequest::send(std::string_view body, BodySink& sink) {
    impl_->perform(body, sink, false);
}

int HttpRequest::Status() const {
    return impl_->status;
}
const std::string& HttpRequest::responseBody() const {
    return impl_->body;
}
const std::string& HttpRequest::contentType() const {
    return impl_->contentType;
}

BodyLimit::BodyLimit(std::size_t maxBytes, std::string_view what, std::string_view source)
    : maxBytes_(maxBytes), what_(what), source_(source) {}

void BodyLimit::count(std::size_t bytes) {
    counted_ += bytes;
    if (counted_ > maxBytes_) {
        throw BodyTooLargeError(what_ + "が大きすぎます（上限 " + megabytesText(maxBytes_) +
                                "）。" + (source_.empty() ? "" : "(" + source_ + ")"));
    }
}

HttpRequest CreateHttpRequest(HttpOptions options) {
    return HttpRequest(std::move(options));
}

}  // namespace kestrova
