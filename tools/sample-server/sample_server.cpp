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
#include "fixed_pages.h"
#include "page_cache.h"
#include "race_authority.h"
#include "race_site.h"

namespace kestrova::sample {
namespace {

using Body = std::shared_ptr<const std::string>;

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
};

Body makeBody(std::string text) {
    return std::make_shared<const std::string>(std::move(text));
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
        site = std::make_unique<RaceSite>(options.weekDays, todayDays(), options.seed);
    }

    ServerOptions options;
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    std::atomic<bool> stopping{false};
    int port = 0;
    std::unique_ptr<RaceSite> site;

    mutable std::mutex mutex;
    std::map<std::string, Answer> fixedPages;
    std::map<std::pair<std::string, std::string>, Answer> postPages;  // path, page code
    std::map<std::string, std::vector<std::string>> posted;
    std::map<std::string, std::optional<Answer>> dataFiles;  // nullopt: removed
    std::vector<Fault> faults;
    std::map<std::string, std::size_t> counts;
    PageCache pages{kCachedPages,
                    [this](const std::string& fileName) { return renderFile(fileName); }};

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
        Answer answer = fault ? faultAnswer(req, *fault, code, listFaults)
                              : normalAnswer(req, code, listFaults);
        send(res, answer, fault);
    }

    Answer faultAnswer(const httplib::Request& req, const Fault& fault, const std::string& code,
                       const CodeListFaults& listFaults) {
        switch (fault.kind) {
            case FaultKind::Status:
                return {fault.status, makeBody(statusPage(fault.status)),
                        "text/html; charset=UTF-8"};
            case FaultKind::NoTables:
                return {200, makeBody(noTablesPage()), "text/html; charset=UTF-8"};
            case FaultKind::OversizedTable:
                return {200, makeBody(oversizedPage(req.path, fault.rows, options.seed)),
                        "text/html; charset=Shift_JIS"};
            case FaultKind::Redirect: {
                const std::string target = std::string(kMovedPrefix) + req.path;
                const std::string host = req.get_header_value("Host");
                const char* scheme = options.certFile.empty() ? "http://" : "https://";
                return {
                    fault.status,
                    makeBody("<html><body><a href=\"" + target + "\">Moved</a></body></html>\n"),
                    "text/html", host.empty() ? target : scheme + host + target};
            }
            default:
                return normalAnswer(req, code, listFaults);
        }
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
        if (const auto family = familyOfPath(path)) {
            // The site reads the code from the form only.
            SitePage page = req.method == "POST" && isForm(req)
                                ? site->page(*family, code, listFaults)
                                : RaceSite::errorPage();
            return {200, makeBody(std::move(page.body)), std::move(page.contentType)};
        }
        if (req.method == "GET" && path == kVersionPath) {
            return {200, makeBody(versionPage()), "text/html; charset=UTF-8"};
        }
        if (req.method == "GET" && path == kMasterPath) {
            return {200, makeBody(masterPage()), "text/html; charset=UTF-8"};
        }
        if (req.method == "GET" && path == kExplainPath) {
            return {200, makeBody(explainPdf()), "application/pdf"};
        }
        if (req.method == "GET" && path.starts_with(kDataFolder)) {
            if (auto answer = dataAnswer(path.substr(kDataFolder.size()))) {
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

    std::optional<Answer> dataAnswer(const std::string& fileName) {
        {
            std::lock_guard lock(mutex);
            if (auto it = dataFiles.find(fileName); it != dataFiles.end()) {
                return it->second;
            }
        }
        const std::optional<DataFileName> name = parseDataFileName(fileName);
        if (!name || !isServed(*name)) {
            return std::nullopt;
        }
        const PageStyle style = styleOf(*name);
        Answer answer{200, pages.get(fileName),
                      style.sendContentType ? contentTypeOf(style.charset) : ""};
        if (name->isMonth()) {
            const DataFileName next = name->month == 12
                                          ? DataFileName{name->year + 1, 1, 0}
                                          : DataFileName{name->year, name->month + 1, 0};
            if (isServed(next)) {
                pages.prefetch(next.fileName());
            }
        }
        return answer;
    }

    std::string renderFile(const std::string& fileName) const {
        const DataFileName name = *parseDataFileName(fileName);
        const PageStyle style = styleOf(name);
        return name.isMonth()
                   ? renderMonthPage(name.year, name.month, options.seed, style.charset,
                                     style.layout)
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

    void send(httplib::Response& res, const Answer& answer, const std::optional<Fault>& fault) {
        res.status = answer.status;
        if (!answer.location.empty()) {
            res.set_header("Location", answer.location);
        }
        const Body body = answer.body;
        const bool cut = fault && fault->kind == FaultKind::CutBody;
        if (body->empty() && !cut) {
            if (!answer.contentType.empty()) {
                res.set_header("Content-Type", answer.contentType);
            }
            return;
        }
        std::size_t announced = body->size();
        std::size_t cutAt = body->size();
        std::optional<std::pair<std::size_t, std::chrono::milliseconds>> stall;
        if (cut) {
            cutAt = std::min(fault->afterBytes, body->size());
            announced = std::max(body->size(), fault->afterBytes + 1);
        } else if (fault && fault->kind == FaultKind::StallBody) {
            // Stall before the last byte at the latest, or the client would not notice.
            stall.emplace(std::min(fault->afterBytes, body->size() - 1), fault->delay);
        }
        auto stalled = std::make_shared<bool>(false);
        // The body is streamed straight from the shared page; an empty type is removed again
        // after routing so that the answer goes out without a Content-Type header.
        res.set_content_provider(
            announced, answer.contentType,
            [this, body, cutAt, stall, stalled](std::size_t offset, std::size_t length,
                                                httplib::DataSink& sink) {
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
                return sink.write(body->data() + offset, end - offset);
            });
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
        auto tls = std::make_unique<httplib::SSLServer>(d.options.certFile.c_str(),
                                                        d.options.keyFile.c_str());
        if (!tls->is_valid()) {
            throw ServerError("cannot load certificate " + d.options.certFile.string());
        }
        d.server = std::move(tls);
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
    });
    // The default options add SO_REUSEPORT, which would let a second server share a taken port.
    s.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
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
    const Answer answer{200, makeBody(renderDataPage(file, charset)), contentTypeOf(charset)};
    std::lock_guard lock(impl_->mutex);
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
