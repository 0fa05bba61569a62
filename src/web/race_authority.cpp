#include "web/race_authority.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "base/errors.h"
#include "base/ss_logging.h"
#include "base/text.h"
#include "base/user_interface.h"
#include "web/page_decoder.h"

namespace kestrova {

namespace {

constexpr std::string_view kPageFailure = "HTML の取得に失敗しました。";
constexpr std::string_view kNoStatus = "応答の状態を読み取れませんでした。";
constexpr std::string_view kTimeOutNotice =
    "データ受信処理でタイムアウトが発生しました。再受信して下さい。";
constexpr std::size_t kMaxCodeLength = 64;
/// The site's pages are about 50 KB; a page far larger is none of them, and must not cost
/// the memory of a compressed body that inflates without end.
constexpr std::size_t kMaxPageBytes = 4u << 20;

bool isCodeCharacter(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '/';
}

/// Where the code at `start` ends. In a query ("accessS.html?CNAME=code") the code is the
/// rest of the parameter: up to the attribute's closing quote (white space or ">" when the
/// value has no quotes), "&" or "#". Otherwise, as in doAction('path','code'), it runs to
/// the next single quote. npos: the page ends first.
std::size_t codeEnd(std::string_view text, std::size_t start) {
    constexpr std::string_view kQueryName = "cname=";
    constexpr std::size_t kLookBack = 512;  // an address is shorter; a page may be hostile
    if (start < kQueryName.size() ||
        !equalsIgnoringAsciiCase(text.substr(start - kQueryName.size(), kQueryName.size()),
                                 kQueryName)) {
        return text.find('\'', start);
    }
    const std::size_t query = start - kQueryName.size();
    const std::size_t from = query > kLookBack ? query - kLookBack : 0;
    const std::string_view before = text.substr(from, query - from);
    const std::size_t opening = before.find_last_of("\"'<> \t\r\n");
    const char quote = opening == std::string_view::npos ? '\0' : before[opening];
    if (quote == '"') {
        return text.find_first_of("\"&#", start);
    }
    if (quote == '\'') {
        return text.find_first_of("'&#", start);
    }
    return text.find_first_of("&#<> \t\r\n\"'", start);
}

/// A count as the walks return it: a page cannot list more than a 16-bit count holds.
std::int16_t countOf(std::size_t count) {
    return static_cast<std::int16_t>(
        std::min<std::size_t>(count, std::numeric_limits<std::int16_t>::max()));
}

/// The codes without repeats, each where it first stands: a page listed many times is still
/// asked for once.
std::vector<std::string> distinctCodes(const std::vector<std::string>& codes) {
    std::vector<std::string> distinct;
    std::unordered_set<std::string_view> seen;
    for (const auto& code : codes) {
        if (seen.insert(code).second) {
            distinct.push_back(code);
        }
    }
    return distinct;
}

/// Characters `first` (1-based) to `last` of `text`, fewer when it is shorter.
std::string_view chars(std::string_view text, std::size_t first, std::size_t last) {
    if (first > text.size()) {
        return {};
    }
    return text.substr(first - 1, last - first + 1);
}

}  // namespace

void cJRAEvents::OnPreDataLoad(const JraPage&, bool&) {}
void cJRAEvents::SetKaisaiDay(const std::string&, bool&) {}
void cJRAEvents::SetRaceList(const JraPage&, bool&) {}
void cJRAEvents::SetRaceRest(const JraPage&, bool&) {}
void cJRAEvents::SetRaceRestAuto(const JraPage&, bool&) {}
void cJRAEvents::SetGridOzTanPuku(const JraPage&, bool&) {}
void cJRAEvents::SetGridOzWaku(const JraPage&, bool&) {}
void cJRAEvents::SetGridOzUmaRen(const JraPage&, bool&) {}
void cJRAEvents::SetGridOzWide(const JraPage&, bool&) {}
void cJRAEvents::SetGridOzUmaTan(const JraPage&, bool&) {}
void cJRAEvents::SetGridOz3Ren(const JraPage&, bool&) {}
void cJRAEvents::SetGridOz3Tan(const JraPage&, bool&) {}
void cJRAEvents::PageFailed(const std::string&) {}

RaceAuthoritySite::RaceAuthoritySite(std::string_view hostSetting) {
    const bool hasScheme = startsWithIgnoringAsciiCase(hostSetting, "http://") ||
                           startsWithIgnoringAsciiCase(hostSetting, "https://");
    // The site serves https today; plain http only redirects there.
    base_ = hasScheme ? std::string(hostSetting) : "https://" + std::string(hostSetting);
    while (!base_.empty() && base_.back() == '/') {
        base_.pop_back();
    }
}

std::string RaceAuthoritySite::entryUrl(std::string_view path) const {
    return base_ + std::string(path);
}

std::string decodePage(const JraPage& page) {
    // Shift_JIS labels read as CP932 (the site uses IBM extensions); an undeclared page is
    // judged by its bytes, as a browser does.
    PageDecoder decoder(page.contentType);
    std::string text;
    decoder.decode(page.body, text);
    decoder.finish(text);
    return text;
}

std::vector<std::string> extractCodes(std::string_view text, std::string_view prefix) {
    std::vector<std::string> codes;
    if (prefix.empty()) {
        return codes;
    }
    for (auto start = text.find(prefix); start != std::string_view::npos;) {
        const auto end = codeEnd(text, start);
        if (end == std::string_view::npos) {
            break;
        }
        const std::string_view code = text.substr(start, end - start);
        if (code.size() > kMaxCodeLength ||
            !std::all_of(code.begin(), code.end(), isCodeCharacter)) {
            break;  // a delimiter far away: the code's own was missing
        }
        codes.emplace_back(code);
        start = text.find(prefix, end);
    }
    return codes;
}

std::string formBody(std::string_view code) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string body = "cname=";
    for (const char c : code) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                           (c >= 'A' && c <= 'Z') || c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            body += c;
        } else {
            body += '%';
            body += kHex[byte >> 4];
            body += kHex[byte & 0x0F];
        }
    }
    return body;
}

bool dayCodeMatches(std::string_view dayCode, std::string_view raceKey) {
    if (raceKey.size() < 16 || dayCode.size() < 27) {
        return false;
    }
    return chars(dayCode, 20, 27) == chars(raceKey, 1, 8) &&
           chars(dayCode, 10, 11) == chars(raceKey, 9, 10) &&
           chars(dayCode, 12, 15) == chars(raceKey, 1, 4) &&
           chars(dayCode, 16, 19) == chars(raceKey, 11, 14);
}

bool raceNumberMatches(std::string_view raceCode, std::string_view raceKey) {
    return raceKey.size() >= 16 && raceCode.size() >= 21 &&
           chars(raceCode, 20, 21) == chars(raceKey, 15, 16);
}

bool raceCodeMatches(std::string_view raceCode, std::string_view raceKey) {
    return raceKey.size() >= 16 && raceCode.size() >= 21 &&
           chars(raceCode, 10, 11) == chars(raceKey, 9, 10) &&
           chars(raceCode, 12, 15) == chars(raceKey, 1, 4) &&
           chars(raceCode, 16, 21) == chars(raceKey, 11, 16);
}

/// One method call's request object and its failure model.
class cJRA::Walk {
  public:
    Walk(cJRA& client, std::string_view name, const std::string& url)
        : client_(client), name_(name), url_(url) {
        try {
            HttpRequest request = CreateHttpRequest(client.http_);
            request.Open("POST", url, false);
            request.setRequestHeader("Content-Type", "application/x-www-form-urlencoded");
            request_.emplace(std::move(request));
        } catch (const StopRequested&) {
            throw;
        } catch (const std::exception& e) {
            fail(e);
            noRequest_ = describeError(e);
        }
    }

    /// Posts `code`; the page when it answered 200. Otherwise the failure is logged (the
    /// failed send, the status that cannot be read, and the page failure) and PageFailed
    /// names the page.
    std::optional<JraPage> fetch(std::string_view code) {
        JraPage page;
        bool answered = false;
        std::string reason;
        try {
            if (!request_) {
                throw Error("HTTP 要求オブジェクトがありません。");
            }
            request_->send(formBody(code), BodyLimit(kMaxPageBytes, "ページ", code));
            answered = true;
        } catch (const StopRequested&) {
            throw;  // the caller's stop is no failure of the site
        } catch (const std::exception& e) {
            fail(e);
            reason = request_ || noRequest_.empty() ? describeError(e) : noRequest_;
        }
        if (!answered) {
            logError(kNoStatus);
        } else {
            page.status = request_->Status();
            page.contentType = request_->contentType();
            page.body = request_->responseBody();
        }
        if (page.status != 200) {
            logError(kPageFailure);
            if (answered) {
                reason = "状態 " + std::to_string(page.status) + "（" + url_ + "）";
            }
            client_.events_.PageFailed(
                "JRA のページ " + std::string(code) +
                " を取得できませんでした: " + replaceAll(reason, "\r\n", " "));
            return std::nullopt;
        }
        return page;
    }

    void logError(std::string_view description) const {
        client_.log_.ErrorLog(errorText(name_, description));
    }

    void fail(const std::exception& e) const {
        logError(describeError(e));
        if (const auto* own = dynamic_cast<const Error*>(&e); own && !own->detail().empty()) {
            client_.log_.DebugLog(std::string(name_) + ": " + own->detail());
        }
    }

    void release() { request_.reset(); }

  private:
    cJRA& client_;
    std::string_view name_;
    std::string url_;
    std::optional<HttpRequest> request_;
    std::string noRequest_;  ///< why there is no request object
};

cJRA::cJRA(const SsLogging& log, UserInterface& ui, HttpOptions http, RaceAuthoritySite site,
           MemberServer memberServer, cJRAEvents& events)
    : log_(log),
      ui_(ui),
      http_(std::move(http)),
      site_(std::move(site)),
      memberServer_(std::move(memberServer)),
      events_(events) {}

std::int16_t cJRA::GetKaisaiDay() {
    constexpr std::string_view kName = "GetKaisaiDay";
    log_.TraceLog(kName);
    Walk walk(*this, kName, site_.entryUrl(kRaceCardsPath));
    const auto top = walk.fetch("pw01dli00/F3");
    if (!top) {
        return 0;
    }
    const auto codes = extractCodes(decodePage(*top), "pw01drl");
    if (codes.empty()) {
        return 0;
    }
    bool cancel = false;
    for (const auto& code : distinctCodes(codes)) {
        const auto page = walk.fetch(code);
        if (!page) {
            return 0;
        }
        events_.SetKaisaiDay(decodePage(*page), cancel);
        if (cancel) {
            break;
        }
        ui_.breathe();
    }
    walk.release();
    events_.SetKaisaiDayOff();
    return countOf(codes.size());
}

std::int16_t cJRA::GetRaceList() {
    constexpr std::string_view kName = "GetRaceList";
    log_.TraceLog(kName);
    Walk walk(*this, kName, site_.entryUrl(kRaceCardsPath));
    const auto top = walk.fetch("pw01dli00/F3");
    if (!top) {
        return 0;
    }
    const auto days = extractCodes(decodePage(*top), "pw01drl");
    if (days.empty()) {
        return 0;
    }
    // A day listed twice counts its races twice, as the list says, but each page is fetched
    // once: a day once, and a race once however many days list it.
    std::unordered_map<std::string, std::size_t> racesOfDay;
    std::unordered_set<std::string> seen;
    std::vector<std::string> races;
    std::size_t listed = 0;
    for (const auto& day : days) {
        auto [found, isNew] = racesOfDay.try_emplace(day, 0);
        if (isNew) {
            const auto page = walk.fetch(day);
            if (!page) {
                return 0;
            }
            const auto codes = extractCodes(decodePage(*page), "pw01des");
            found->second = codes.size();
            for (const auto& race : codes) {
                if (seen.insert(race).second) {
                    races.push_back(race);
                }
            }
        }
        listed += found->second;
    }
    bool cancel = false;
    for (const auto& race : races) {
        const auto page = walk.fetch(race);
        if (!page) {
            return 0;
        }
        events_.SetRaceList(*page, cancel);
        if (cancel) {
            break;
        }
        ui_.breathe();
    }
    walk.release();
    events_.SetRaceListOff();
    return countOf(listed);
}

std::int16_t cJRA::PreDataGet(std::string_view InFileNm, std::int16_t InMode) {
    constexpr std::string_view kName = "PreDataGet";
    log_.TraceLog(kName);
    try {
        // The name becomes part of an address: only a plain file name may.
        const bool plainName = !InFileNm.empty() && InFileNm != "." && InFileNm != ".." &&
                               std::all_of(InFileNm.begin(), InFileNm.end(), [](char c) {
                                   return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                                          (c >= 'A' && c <= 'Z') || c == '-' || c == '_' ||
                                          c == '.';
                               });
        if (!plainName) {
            throw Error("ファイル名が正しくありません。(" + std::string(InFileNm) + ")");
        }
        HttpRequest request = CreateHttpRequest(http_);
        request.Open("POST", memberServer_.preparedFileUrl(InFileNm), false);
        request.send({}, BodyLimit(kMaxPageBytes, "ファイル", InFileNm));
        const int status = request.Status();
        if (status == 404) {
            return -1;
        }
        if (status != 200) {
            log_.ErrorLog(errorText(kName, kPageFailure));
            return -1;
        }
        if (InMode != 0) {
            return 0;
        }
        // Empty once decoded: nothing, or a byte order mark alone.
        if (const std::string& body = request.responseBody();
            body.empty() || body == "\xEF\xBB\xBF") {
            return -1;
        }
        const JraPage page{status, request.contentType(), request.responseBody()};
        bool cancel = false;
        events_.OnPreDataLoad(page, cancel);
        if (cancel) {
            return -1;
        }
        ui_.breathe();
        events_.OffPreDataLoad();
        return 0;
    } catch (const HttpError& e) {
        if (e.kind() != HttpErrorKind::Timeout) {
            log_.ErrorLog(errorText(kName, e.what()));
            return -1;
        }
        ui_.info(kTimeOutNotice);
        log_.TraceLog(errorText(kName, e.what()));
        return -1;
    } catch (const StopRequested&) {
        throw;
    } catch (const std::exception& e) {
        log_.ErrorLog(errorText(kName, describeError(e)));
        return -1;
    }
}

/// What tells the nine result and odds walks apart.
struct cJRA::RaceWalk {
    std::string_view name;
    bool entryAtInfo = false;
    std::string_view path;
    std::string_view topCode;
    std::string_view dayPrefix;
    std::string_view racePrefix;
    /// The race lists of the site link only the win odds; the other kinds are its tabs.
    std::string_view tabPagePrefix{};
    bool autoKey = false;
    bool firstDayOnly = false;
    bool skipDuplicates = false;
    bool releaseBeforeEnd = false;
    void (cJRAEvents::*page)(const JraPage&, bool&);
    void (cJRAEvents::*end)();
};

std::int16_t cJRA::raceWalk(const RaceWalk& route) {
    if (route.entryAtInfo) {
        log_.InfoLog(route.name);
    } else {
        log_.TraceLog(route.name);
    }
    const std::string& key = route.autoKey ? AutoRaceKey : SelectedRaceKey;
    Walk walk(*this, route.name, site_.entryUrl(route.path));
    const auto top = walk.fetch(route.topCode);
    if (!top) {
        return 0;
    }
    const auto days = extractCodes(decodePage(*top), route.dayPrefix);
    if (days.empty()) {
        return 0;
    }
    // The candidates in order, each once; the count is of the codes as listed (a duplicate
    // counts unless the walk skips duplicates, a day listed twice counts twice).
    std::vector<std::string> candidates;
    std::unordered_set<std::string> seen;
    std::size_t listed = 0;
    const auto collect = [&](const std::vector<std::string>& races) {
        std::size_t matching = 0;
        for (const auto& race : races) {
            if (!raceNumberMatches(race, key)) {
                continue;
            }
            const bool isNew = seen.insert(race).second;
            if (isNew) {
                candidates.push_back(race);
            }
            matching += isNew || !route.skipDuplicates ? 1 : 0;
        }
        listed += matching;
        return matching;
    };
    std::vector<std::string> winPages;
    // Each day page is fetched once; listed again, it adds its count again.
    std::unordered_map<std::string, std::size_t> candidatesOfDay;
    for (const auto& day : days) {
        if (!dayCodeMatches(day, key)) {
            continue;
        }
        auto [found, isNew] = candidatesOfDay.try_emplace(day, 0);
        if (isNew) {
            const auto page = walk.fetch(day);
            if (!page) {
                return 0;
            }
            const std::string text = decodePage(*page);
            found->second = collect(extractCodes(text, route.racePrefix));
            if (!route.tabPagePrefix.empty()) {
                const auto tabs = extractCodes(text, route.tabPagePrefix);
                winPages.insert(winPages.end(), tabs.begin(), tabs.end());
            }
        } else if (!route.skipDuplicates) {
            listed += found->second;
        }
        if (route.firstDayOnly) {
            break;
        }
    }
    const auto matchesRace = [&key](const std::string& race) { return raceCodeMatches(race, key); };
    if (candidates.empty()) {
        // The list had no link of this kind for the race: the win page's tabs have it.
        if (const auto win = std::find_if(winPages.begin(), winPages.end(), matchesRace);
            win != winPages.end()) {
            const auto page = walk.fetch(*win);
            if (!page) {
                return 0;
            }
            collect(extractCodes(decodePage(*page), route.racePrefix));
        }
    }
    const auto chosen = std::find_if(candidates.begin(), candidates.end(), matchesRace);
    if (chosen != candidates.end()) {
        const auto page = walk.fetch(*chosen);
        if (!page) {
            return 0;
        }
        bool cancel = false;
        (events_.*route.page)(*page, cancel);
        if (!cancel) {
            ui_.breathe();
        }
    }
    if (route.releaseBeforeEnd) {
        walk.release();
        (events_.*route.end)();
    } else {
        (events_.*route.end)();
        walk.release();
    }
    return countOf(listed);
}

namespace {

constexpr std::string_view kResultsTop = "pw01sli00/AF";
constexpr std::string_view kOddsTop = "pw15oli00/6D";

constexpr std::string_view kWinOdds = "pw151ou";

cJRA::RaceWalk oddsWalk(std::string_view name, std::string_view racePrefix,
                        void (cJRAEvents::*page)(const JraPage&, bool&),
                        void (cJRAEvents::*end)()) {
    return {.name = name,
            .path = kOddsPath,
            .topCode = kOddsTop,
            .dayPrefix = "pw15orl",
            .racePrefix = racePrefix,
            .tabPagePrefix = racePrefix == kWinOdds ? std::string_view() : kWinOdds,
            .page = page,
            .end = end};
}

}  // namespace

std::int16_t cJRA::GetRaceRestAuto() {
    return raceWalk({.name = "GetRaceRestAuto",
                     .path = kResultsPath,
                     .topCode = kResultsTop,
                     .dayPrefix = "pw01srl",
                     .racePrefix = "pw01sde",
                     .autoKey = true,
                     .firstDayOnly = true,
                     .releaseBeforeEnd = true,
                     .page = &cJRAEvents::SetRaceRestAuto,
                     .end = &cJRAEvents::SetRaceRestAutoOff});
}

std::int16_t cJRA::GetRaceRest() {
    return raceWalk({.name = "GetRaceRest",
                     .entryAtInfo = true,
                     .path = kResultsPath,
                     .topCode = kResultsTop,
                     .dayPrefix = "pw01srl",
                     .racePrefix = "pw01sde",
                     .firstDayOnly = true,
                     .releaseBeforeEnd = true,
                     .page = &cJRAEvents::SetRaceRest,
                     .end = &cJRAEvents::SetRaceRestOff});
}

std::int16_t cJRA::GetGridOzTanPuku() {
    RaceWalk walk = oddsWalk("GetGridOzTanPuku", kWinOdds, &cJRAEvents::SetGridOzTanPuku,
                             &cJRAEvents::SetGridOzTanPukuOff);
    walk.firstDayOnly = true;
    walk.skipDuplicates = true;
    return raceWalk(walk);
}

std::int16_t cJRA::GetGridOzWaku() {
    return raceWalk(oddsWalk("GetGridOzWaku", "pw153ou", &cJRAEvents::SetGridOzWaku,
                             &cJRAEvents::SetGridOzWakuOff));
}

std::int16_t cJRA::GetGridOzUmaRen() {
    return raceWalk(oddsWalk("GetGridOzUmaRen", "pw154ou", &cJRAEvents::SetGridOzUmaRen,
                             &cJRAEvents::SetGridOzUmaRenOff));
}

std::int16_t cJRA::GetGridOzWide() {
    return raceWalk(oddsWalk("GetGridOzWide", "pw155ou", &cJRAEvents::SetGridOzWide,
                             &cJRAEvents::SetGridOzWideOff));
}

std::int16_t cJRA::GetGridOzUmaTan() {
    return raceWalk(oddsWalk("GetGridOzUmaTan", "pw156ou", &cJRAEvents::SetGridOzUmaTan,
                             &cJRAEvents::SetGridOzUmaTanOff));
}

std::int16_t cJRA::GetGridOz3Ren() {
    return raceWalk(oddsWalk("GetGridOz3Ren", "pw157ou", &cJRAEvents::SetGridOz3Ren,
                             &cJRAEvents::SetGridOz3RenOff));
}

std::int16_t cJRA::GetGridOz3Tan() {
    return raceWalk(oddsWalk("GetGridOz3Tan", "pw158ou", &cJRAEvents::SetGridOz3Tan,
                             &cJRAEvents::SetGridOz3TanOff));
}

}  // namespace kestrova
