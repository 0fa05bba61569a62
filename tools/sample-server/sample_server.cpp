#include "sample_server.h"

#include <algorithm>
#include <atomic>
#include <ctime>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

#include <httplib.h>

#include "calendar.h"
#include "data_paths.h"
#include "fault_bodies.h"
#include "fixed_pages.h"
#include "page_cache.h"
#include "race_authority.h"
#include "race_site.h"
#include "rate_limit.h"
#include "streamed_body.h"
#include "tls_server.h"
#include "validators.h"

namespace kestrova::sample {
namespace {

using Body = std::shared_ptr<const Content>;

struct Answer {
    Answer() = default;
    Answer(int status, Body body, std::string contentType, std::string location = {})
        : status(status),
          body(std::move(body)),
          contentType(std::move(contentType)),
          location(std::move(location)) {}

    int status = 200;
    Body body;
    std::string contentType;  // empty: no Content-Type header
    std::string location;     // a redirect's target
    /// Data files: sent with validators, and conditional requests are answered.
    std::optional<std::time_t> lastModified;
};

/// What goes out: an answer's body in the form it travels.
struct Reply {
    int status = 200;
    std::string contentType;
    std::string location;
    std::string contentEncoding;
    StreamedBody body;
    bool endless = false;  // no Content-Length: the body ends when the connection closes
};

/// A reply with the answer's status and headers, yet without a body.
Reply headOf(const Answer& answer) {
    Reply reply;
    reply.status = answer.status;
    reply.contentType = answer.contentType;
    reply.location = answer.location;
    return reply;
}

Body makeBody(std::string text) {
    return std::make_shared<const Content>(std::move(text));
}

int todayDays() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return daysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

/// A field of a form body with "%XX" and "+" decoded; empty when the form has none.
std::string formField(std::string_view body, std::string_view name) {
    std::size_t start = 0;
    while (start <= body.size()) {
        const std::size_t end = std::min(body.find('&', start), body.size());
        const std::string_view field = body.substr(start, end - start);
        if (field.size() > name.size() && field.starts_with(name) && field[name.size()] == '=') {
            const std::string_view value = field.substr(name.size() + 1);
            std::string out;
            for (std::size_t i = 0; i < value.size(); ++i) {
                if (value[i] == '%' && i + 2 < value.size() && hexValue(value[i + 1]) >= 0 &&
                    hexValue(value[i + 2]) >= 0) {
                    out += static_cast<char>(hexValue(value[i + 1]) * 16 + hexValue(value[i + 2]));
                    i += 2;
                } else {
                    out += value[i] == '+' ? ' ' : value[i];
                }
            }
            return out;
        }
        start = end + 1;
    }
    return {};
}

bool isForm(const httplib::Request& req) {
    return req.get_header_value("Content-Type").starts_with("application/x-www-form-urlencoded");
}

/// The entry path itself for a racing-authority path under kMovedPrefix; others unchanged.
std::string canonicalPath(const std::string& path) {
    if (const auto family = familyOfPath(path)) {
        return std::string(entryPath(*family));
    }
    return path;
}

bool applies(const Fault& fault, const std::string& path, const std::string& code) {
    const bool samePath =
        fault.path == path || (fault.kind != FaultKind::Redirect && familyOfPath(path) &&
                               fault.path == canonicalPath(path));
    return samePath && (fault.pageCode.empty() || fault.pageCode == code);
}

void addListFault(CodeListFaults& list, const Fault& fault) {
    switch (fault.kind) {
        case FaultKind::NoCodes:
            list.noCodes = true;
            break;
        case FaultKind::UnclosedQuote:
            list.unclosedLast = true;
            break;
        case FaultKind::DuplicateCode:
            list.duplicate = std::max(1, fault.nth);
            break;
        case FaultKind::UnknownCode:
            list.unknownCode = true;
            break;
        case FaultKind::ReversedDays:
            list.reversedDays = true;
            break;
        default:
            break;
    }
}

bool isListFault(FaultKind kind) {
    return kind == FaultKind::NoCodes || kind == FaultKind::UnclosedQuote ||
           kind == FaultKind::DuplicateCode || kind == FaultKind::UnknownCode ||
           kind == FaultKind::ReversedDays;
}

/// Faults in how the usual answer travels rather than in what it says.
bool isDeliveryFault(FaultKind kind) {
    return kind == FaultKind::StallBody || kind == FaultKind::CutBody ||
           kind == FaultKind::Truncate || kind == FaultKind::Trickle;
}

bool isText(const std::string& contentType) {
    // Pages sent without a type are HTML too.
    return contentType.empty() || contentType.starts_with("text/");
}

/// All values of a header, joined as one list.
std::string headerList(const httplib::Request& req, const char* name) {
    std::string list;
    for (std::size_t i = 0, n = req.get_header_value_count(name); i < n; ++i) {
        list += (i == 0 ? "" : ", ") + req.get_header_value(name, i);
    }
    return list;
}

std::string entityTag(const Content& content, Coding coding) {
    // Each representation has its own strong tag; all stem from the plain bytes.
    return "\"" + content.hash() +
           (coding == Coding::Identity ? "" : "-" + std::string(codingName(coding))) + "\"";
}

/// The page cache's key of a data file: a changed month is another page.
std::string cacheKey(const std::string& fileName, int version) {
    return version == 0 ? fileName : fileName + "#" + std::to_string(version);
}

std::uint32_t changedSeed(std::uint32_t seed, int version) {
    return seed + static_cast<std::uint32_t>(version) * 0x9E3779B9u;
}

int monthIndex(int year, int month) {
    return year * 12 + month - 1;
}

constexpr std::size_t kCachedPages = 4;
constexpr std::size_t kWriteBlock = 256 * 1024;
constexpr auto kSleepStep = std::chrono::milliseconds(10);

}  // namespace

struct SampleServer::Impl {
    explicit Impl(ServerOptions opts) : options(std::move(opts)) {
        if (options.newestYear == 0) {
            const CivilDate today = civilFromDays(todayDays());
            options.newestYear = today.month == 1 ? today.year - 1 : today.year;
            options.newestMonth = today.month == 1 ? 12 : today.month - 1;
        }
        if (options.weekDays.empty()) {
            options.weekDays = weekMeetingDays(todayDays());
        }
        for (const std::string& text : options.changedMonths) {
            const auto month = parseYearMonth(text);
            if (!month) {
                throw std::invalid_argument("bad changed month (YYYY-MM expected): " + text);
            }
            changes[monthIndex(month->first, month->second)] = {1, startTime};
        }
        site = std::make_unique<RaceSite>(options.weekDays, todayDays(), options.seed,
                                          options.realRaceLists);
    }

    /// A month generated anew: how often, and since when.
    struct Change {
        int version = 0;
        std::time_t lastModified = 0;
    };

    ServerOptions options;
    const std::time_t startTime = std::time(nullptr);
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    std::atomic<bool> stopping{false};
    int port = 0;
    std::unique_ptr<RaceSite> site;
    RateLimit rate{options.bytesPerSecond};
    std::atomic<std::uint64_t> sent{0};

    mutable std::mutex mutex;
    std::map<std::string, Answer> fixedPages;
    std::map<std::pair<std::string, std::string>, Answer> postPages;  // path, page code
    std::map<std::string, std::vector<std::string>> posted;
    std::map<std::string, std::optional<Answer>> dataFiles;  // nullopt: removed
    std::vector<Fault> faults;
    std::map<std::string, std::size_t> counts;
    std::map<std::string, std::size_t> notModified;
    std::map<int, Change> changes;  // by monthIndex
    std::time_t lastOverride = 0;
    PageCache pages{std::max(options.cachedPages, kCachedPages),
                    [this](const std::string& key) { return renderFile(key); }};

    /// Sleeps in small steps; false when the server is stopping.
    bool pause(std::chrono::milliseconds delay) const {
        const auto until = std::chrono::steady_clock::now() + delay;
        while (std::chrono::steady_clock::now() < until) {
            if (stopping) {
                return false;
            }
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                kSleepStep, until - std::chrono::steady_clock::now()));
        }
        return !stopping;
    }

    void handle(const httplib::Request& req, httplib::Response& res) {
        if (req.path == kBytesSentPath) {
            res.set_content(std::to_string(sent.load()), "text/plain");
            return;
        }
        if (!pause(options.latency)) {
            res.status = 503;
            return;
        }
        const std::string code = req.method == "POST" ? formField(req.body, "cname") : "";
        std::optional<Fault> fault;
        std::optional<std::chrono::milliseconds> slow;
        CodeListFaults listFaults;
        {
            std::lock_guard lock(mutex);
            ++counts[req.path];
            if (req.method == "POST") {
                posted[req.path].push_back(code);
            }
            for (const Fault& f : faults) {
                if (!applies(f, req.path, code)) {
                    continue;
                }
                if (f.kind == FaultKind::Slow) {
                    slow = f.delay;
                } else if (isListFault(f.kind)) {
                    addListFault(listFaults, f);
                } else if (!fault) {
                    fault = f;
                }
            }
        }
        if (slow && !pause(*slow)) {
            res.status = 503;
            return;
        }
        if (fault && !isDeliveryFault(fault->kind)) {
            send(res, faultReply(req, *fault, code, listFaults), std::nullopt);
            return;
        }
        const Answer answer = normalAnswer(req, code, listFaults);
        Reply reply = headOf(answer);
        const bool text = isText(answer.contentType) && !answer.body->plain().empty();
        const Coding coding =
            text ? chooseCoding(headerList(req, "Accept-Encoding")) : Coding::Identity;
        if (text) {
            res.set_header("Vary", "Accept-Encoding");
        }
        if (answer.lastModified && options.validators) {
            const std::string etag = entityTag(*answer.body, coding);
            res.set_header("ETag", etag);
            res.set_header("Last-Modified", httpDate(*answer.lastModified));
            if (notModifiedSince(req, etag, *answer.lastModified)) {
                res.status = 304;
                std::lock_guard lock(mutex);
                ++notModified[req.path];
                return;
            }
        }
        if (coding != Coding::Identity) {
            reply.contentEncoding = codingName(coding);
        }
        reply.body = encodedBody(answer.body, coding);
        send(res, std::move(reply), fault);
    }

    /// RFC 9110: If-None-Match decides when present, If-Modified-Since otherwise.
    static bool notModifiedSince(const httplib::Request& req, const std::string& etag,
                                 std::time_t lastModified) {
        if (req.method != "GET" && req.method != "HEAD") {
            return false;
        }
        if (req.has_header("If-None-Match")) {
            return noneMatchHits(headerList(req, "If-None-Match"), etag);
        }
        if (req.has_header("If-Modified-Since")) {
            const auto since = parseHttpDate(req.get_header_value("If-Modified-Since"));
            return since && lastModified <= *since;
        }
        return false;
    }

    Reply faultReply(const httplib::Request& req, const Fault& fault, const std::string& code,
                     const CodeListFaults& listFaults) {
        const auto plain = [](int status, std::string body, std::string contentType) {
            Reply reply;
            reply.status = status;
            reply.contentType = std::move(contentType);
            reply.body = StreamedBody(std::move(body));
            return reply;
        };
        switch (fault.kind) {
            case FaultKind::Status:
                return plain(fault.status, statusPage(fault.status), "text/html; charset=UTF-8");
            case FaultKind::NoTables:
                return plain(200, noTablesPage(), "text/html; charset=UTF-8");
            case FaultKind::OversizedTable:
                return plain(200, oversizedPage(req.path, fault.rows, options.seed),
                             "text/html; charset=Shift_JIS");
            case FaultKind::Redirect: {
                const std::string target = std::string(kMovedPrefix) + req.path;
                const std::string host = req.get_header_value("Host");
                const char* scheme = options.certFile.empty() ? "http://" : "https://";
                Reply reply =
                    plain(fault.status,
                          "<html><body><a href=\"" + target + "\">Moved</a></body></html>\n",
                          "text/html");
                reply.location = host.empty() ? target : scheme + host + target;
                return reply;
            }
            default:
                break;
        }
        const Answer answer = normalAnswer(req, code, listFaults);
        Reply reply = headOf(answer);
        switch (fault.kind) {
            case FaultKind::Repeat:
                reply.body = repeatedTable(answer.body, fault.times);
                reply.endless = fault.times == 0;
                break;
            case FaultKind::HugeCell:
                reply.body = withHugeCell(answer.body, fault.bytes);
                break;
            case FaultKind::BadEncoding:
                reply.body = StreamedBody(plainText(answer.body));
                reply.contentEncoding = codingName(fault.coding);
                break;
            default:
                reply.body = StreamedBody(plainText(answer.body));
        }
        return reply;
    }

    Answer normalAnswer(const httplib::Request& req, const std::string& code,
                        const CodeListFaults& listFaults) {
        {
            std::lock_guard lock(mutex);
            if (auto it = fixedPages.find(req.path); it != fixedPages.end()) {
                return it->second;
            }
            if (req.method == "POST") {
                const auto it = postPages.find({canonicalPath(req.path), code});
                if (it != postPages.end()) {
                    return it->second;
                }
            }
        }
        const std::string& path = req.path;
        // A HEAD is a GET without the body, which httplib leaves out.
        const bool get = req.method == "GET" || req.method == "HEAD";
        if (const auto family = familyOfPath(path)) {
            // The site reads the code from the form only.
            SitePage page = req.method == "POST" && isForm(req)
                                ? site->page(*family, code, listFaults)
                                : RaceSite::errorPage();
            return {200, makeBody(std::move(page.body)), std::move(page.contentType)};
        }
        if (get && path == kVersionPath) {
            return {200, makeBody(versionPage()), "text/html; charset=UTF-8"};
        }
        if (get && path == kMasterPath) {
            return {200, makeBody(masterPage()), "text/html; charset=UTF-8"};
        }
        if (get && path == kExplainPath) {
            return {200, makeBody(explainPdf()), "application/pdf"};
        }
        if (get && path.starts_with(kDataFolder)) {
            if (auto answer = dataAnswer(req, path.substr(kDataFolder.size()))) {
                return *answer;
            }
        }
        if (req.method == "POST" && path.starts_with(kPreparedFolder)) {
            if (auto text = preparedFile(path.substr(kPreparedFolder.size()), options.weekDays)) {
                return {200, makeBody(std::move(*text)), "text/plain; charset=UTF-8"};
            }
        }
        return {404, makeBody(statusPage(404)), "text/html; charset=UTF-8"};
    }

    std::optional<Answer> dataAnswer(const httplib::Request& req, const std::string& fileName) {
        std::pair<int, std::time_t> version{0, 0};
        const std::optional<DataFileName> name = parseDataFileName(fileName);
        {
            std::lock_guard lock(mutex);
            if (auto it = dataFiles.find(fileName); it != dataFiles.end()) {
                return it->second;
            }
            if (name && name->isMonth()) {
                version = versionOf(*name);
            }
        }
        if (!name || !isServed(*name)) {
            return std::nullopt;
        }
        const PageStyle style = styleOf(*name);
        Answer answer{200, pages.get(cacheKey(fileName, version.first)),
                      style.sendContentType ? contentTypeOf(style.charset) : ""};
        answer.lastModified =
            version.first > 0 ? version.second : std::min(publishedAt(*name), startTime);
        if (name->isMonth()) {
            const DataFileName next = name->month == 12
                                          ? DataFileName{name->year + 1, 1, 0}
                                          : DataFileName{name->year, name->month + 1, 0};
            if (isServed(next)) {
                int nextVersion = 0;
                {
                    std::lock_guard lock(mutex);
                    nextVersion = versionOf(next).first;
                }
                // A client that asks for compressed months will ask for the next one so too.
                const bool compress =
                    chooseCoding(headerList(req, "Accept-Encoding")) != Coding::Identity;
                pages.prefetch(cacheKey(next.fileName(), nextVersion), compress);
            }
        }
        return answer;
    }

    /// A month's version and Last-Modified; mutex held.
    std::pair<int, std::time_t> versionOf(const DataFileName& month) const {
        const auto it = changes.find(monthIndex(month.year, month.month));
        return it == changes.end() ? std::pair<int, std::time_t>{0, 0}
                                   : std::pair{it->second.version, it->second.lastModified};
    }

    std::string renderFile(const std::string& key) const {
        const std::size_t hash = key.find('#');
        const DataFileName name = *parseDataFileName(key.substr(0, hash));
        const int version = hash == std::string::npos ? 0 : std::stoi(key.substr(hash + 1));
        const PageStyle style = styleOf(name);
        return name.isMonth()
                   ? renderMonthPage(name.year, name.month, changedSeed(options.seed, version),
                                     style.charset, style.layout)
                   : renderDayPage(name.dayKey(), options.seed, style.charset, style.layout);
    }

    bool isServed(const DataFileName& name) const {
        if (name.isMonth()) {
            const int ym = name.year * 12 + name.month;
            return ym >= 2010 * 12 + 1 && ym <= options.newestYear * 12 + options.newestMonth;
        }
        const auto& days = options.weekDays;
        return std::find(days.begin(), days.end(), name.dayKey()) != days.end();
    }

    /// Writes body[offset, end) in pieces the rate limit allows, counting what went out.
    bool write(const StreamedBody& body, std::size_t offset, std::size_t end,
               httplib::DataSink& sink) {
        const std::size_t most = rate.limited() ? rate.pieceSize() : end - offset;
        while (offset < end) {
            const std::string_view piece = body.piece(offset, std::min(most, end - offset));
            if (piece.empty() || !rate.take(piece.size(), stopping)) {
                return false;
            }
            // Counted before the write: a client that has the bytes must see them counted.
            sent += piece.size();
            if (!sink.write(piece.data(), piece.size())) {
                return false;
            }
            offset += piece.size();
        }
        return true;
    }

    void send(httplib::Response& res, Reply reply, const std::optional<Fault>& fault) {
        res.status = reply.status;
        if (!reply.location.empty()) {
            res.set_header("Location", reply.location);
        }
        if (!reply.contentEncoding.empty()) {
            res.set_header("Content-Encoding", reply.contentEncoding);
        }
        const auto body = std::make_shared<const StreamedBody>(std::move(reply.body));
        const FaultKind kind = fault ? fault->kind : FaultKind::Status;
        const bool cut = kind == FaultKind::CutBody;
        std::size_t announced = body->size();
        std::size_t cutAt = body->size();
        std::optional<std::pair<std::size_t, std::chrono::milliseconds>> stall, trickle;
        if (cut) {
            cutAt = std::min(fault->afterBytes, body->size());
            announced = std::max(body->size(), fault->afterBytes + 1);
        } else if (kind == FaultKind::StallBody && !body->empty()) {
            // Stall before the last byte at the latest, or the client would not notice.
            stall.emplace(std::min(fault->afterBytes, body->size() - 1), fault->delay);
        } else if (kind == FaultKind::Truncate) {
            announced = cutAt = std::min(fault->bytes, body->size());
        } else if (kind == FaultKind::Trickle) {
            trickle.emplace(std::max<std::size_t>(fault->bytes, 1), fault->delay);
        }
        if (announced == 0) {
            if (!reply.contentType.empty()) {
                res.set_header("Content-Type", reply.contentType);
            }
            return;
        }
        auto stalled = std::make_shared<bool>(false);
        // The body is streamed straight from the shared pages; an empty type is removed again
        // after routing so that the answer goes out without a Content-Type header.
        const auto provide = [this, body, cutAt, stall, trickle, stalled](
                                 std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            if (stopping || offset >= cutAt) {
                return false;
            }
            std::size_t end = std::min({cutAt, offset + length, offset + kWriteBlock});
            if (stall && !*stalled) {
                if (offset >= stall->first) {
                    *stalled = true;
                    if (!pause(stall->second)) {
                        return false;
                    }
                } else {
                    end = std::min(end, stall->first);
                }
            }
            if (trickle) {
                end = std::min(end, offset + trickle->first);
                if (offset > 0 && !pause(trickle->second)) {
                    return false;
                }
            }
            return write(*body, offset, end, sink);
        };
        if (reply.endless) {
            res.set_content_provider(reply.contentType,
                                     [provide, body](std::size_t offset, httplib::DataSink& sink) {
                                         if (offset >= body->size()) {
                                             sink.done();
                                             return true;
                                         }
                                         return provide(offset, body->size() - offset, sink);
                                     });
        } else {
            res.set_content_provider(announced, reply.contentType, provide);
        }
    }
};

SampleServer::SampleServer(ServerOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {}

SampleServer::~SampleServer() {
    stop();
}

void SampleServer::start() {
    Impl& d = *impl_;
    if (d.server) {
        throw ServerError("SampleServer already started");
    }
    if (!d.options.certFile.empty()) {
        d.server = makeTlsServer(d.options.certFile, d.options.keyFile);
    } else {
        d.server = std::make_unique<httplib::Server>();
    }
    httplib::Server& s = *d.server;
    const auto handler = [&d](const httplib::Request& req, httplib::Response& res) {
        d.handle(req, res);
    };
    s.Get(".*", handler);
    s.Post(".*", handler);
    s.set_post_routing_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.get_header_value("Content-Type").empty()) {
            res.headers.erase("Content-Type");
        }
        // httplib says "Content-Length: 0", which a 304 must not unless the page is empty.
        if (res.status == 304) {
            res.headers.erase("Content-Length");
        }
    });
    // The default options add SO_REUSEPORT, which would let a second server share a taken port.
    s.set_socket_options([](socket_t sock) {
        int yes = 1;
        // Windows takes the value as char*.
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes), sizeof yes);
    });
    // One request a connection: an idle kept-alive connection would hold stop() for the
    // whole keep-alive time-out.
    s.set_keep_alive_max_count(1);
    s.set_keep_alive_timeout(1);

    if (d.options.port == 0) {
        d.port = s.bind_to_any_port(d.options.bindAddress);
    } else if (s.bind_to_port(d.options.bindAddress, d.options.port)) {
        d.port = d.options.port;
    } else {
        d.port = -1;
    }
    if (d.port <= 0) {
        d.server.reset();
        throw ServerError("cannot listen on " + d.options.bindAddress + ":" +
                          std::to_string(d.options.port));
    }
    d.stopping = false;
    d.thread = std::thread([&s] { s.listen_after_bind(); });
    // stop() only works on a running server, so wait for the accept loop.
    while (!s.is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void SampleServer::stop() {
    Impl& d = *impl_;
    if (!d.server) {
        return;
    }
    d.stopping = true;
    d.server->stop();
    if (d.thread.joinable()) {
        d.thread.join();
    }
    d.server.reset();
}

int SampleServer::port() const {
    return impl_->port;
}

std::string SampleServer::hostPort() const {
    return "127.0.0.1:" + std::to_string(impl_->port);
}

void SampleServer::setPage(const std::string& path, std::string body, std::string contentType) {
    std::lock_guard lock(impl_->mutex);
    impl_->fixedPages[path] = Answer{200, makeBody(std::move(body)), std::move(contentType)};
}

void SampleServer::setPostPage(const std::string& path, const std::string& pageCode,
                               std::string body, std::string contentType) {
    std::lock_guard lock(impl_->mutex);
    impl_->postPages[{canonicalPath(path), pageCode}] =
        Answer{200, makeBody(std::move(body)), std::move(contentType)};
}

void SampleServer::setDataFile(const std::string& fileName, DataFile file, Charset charset) {
    Answer answer{200, makeBody(renderDataPage(file, charset)), contentTypeOf(charset)};
    std::lock_guard lock(impl_->mutex);
    // A later override is always newer, even within the same second.
    impl_->lastOverride = std::max(std::time(nullptr), impl_->lastOverride + 1);
    answer.lastModified = impl_->lastOverride;
    impl_->dataFiles[fileName] = answer;
}

void SampleServer::removeDataFile(const std::string& fileName) {
    std::lock_guard lock(impl_->mutex);
    impl_->dataFiles[fileName] = std::nullopt;
}

void SampleServer::addFault(Fault fault) {
    std::lock_guard lock(impl_->mutex);
    impl_->faults.push_back(std::move(fault));
}

void SampleServer::clearFaults() {
    std::lock_guard lock(impl_->mutex);
    impl_->faults.clear();
}

void SampleServer::changeMonth(int year, int month) {
    const DataFileName name{year, month, 0};
    std::lock_guard lock(impl_->mutex);
    Impl::Change& change = impl_->changes[monthIndex(year, month)];
    const std::time_t before =
        change.version > 0 ? change.lastModified : std::min(publishedAt(name), impl_->startTime);
    ++change.version;
    change.lastModified = std::max(std::time(nullptr), before + 1);
}

std::size_t SampleServer::notModifiedCount(const std::string& path) const {
    std::lock_guard lock(impl_->mutex);
    const auto it = impl_->notModified.find(path);
    return it == impl_->notModified.end() ? 0 : it->second;
}

std::uint64_t SampleServer::bytesSent() const {
    return impl_->sent;
}

std::size_t SampleServer::requestCount(const std::string& path) const {
    std::lock_guard lock(impl_->mutex);
    const auto it = impl_->counts.find(path);
    return it == impl_->counts.end() ? 0 : it->second;
}

std::vector<std::string> SampleServer::postedCodes(const std::string& path) const {
    std::lock_guard lock(impl_->mutex);
    const auto it = impl_->posted.find(path);
    return it == impl_->posted.end() ? std::vector<std::string>{} : it->second;
}

}  // namespace kestrova::sample
