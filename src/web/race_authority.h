#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "web/http_request.h"
#include "web/member_server.h"

namespace kestrova {

class SsLogging;
class UserInterface;

/// The racing authority's public site: "https://" + host unless the setting names a scheme
/// ("http://127.0.0.1:8080" for the sample server).
class RaceAuthoritySite {
  public:
    explicit RaceAuthoritySite(std::string_view hostSetting);
    /// The address of an entry path ("/JRADB/accessD.html").
    std::string entryUrl(std::string_view path) const;

  private:
    std::string base_;
};

/// One answer of the site as it arrived (the "ResponceStream" of the page events).
struct JraPage {
    int status = 0;
    std::string contentType;
    std::string body;  ///< bytes
};

/// The page as text (UTF-8), its encoding decided as for every page (a Shift_JIS label means
/// CP932); bytes that are not in the encoding become U+FFFD and decoding goes on.
std::string decodePage(const JraPage& page);

/// Every code that starts with `prefix` in `text`, in page order, duplicates kept. A code in
/// a query ("accessS.html?CNAME=code") ends with the attribute's value (or at "&" or "#");
/// any other, as in doAction('path','code'), at the next single quote. A code without its
/// end, or that is no page code (letters, digits and "/" only, at most 64 characters), ends
/// the list.
std::vector<std::string> extractCodes(std::string_view text, std::string_view prefix);

/// "cname=" + the code, percent-encoded ("/" is "%2F"), as the entry paths take it.
std::string formBody(std::string_view code);

/// The events of cJRA, raised synchronously from inside its methods in the order they
/// happen. A page event's handler sets `Cancel` to stop the walk. Every default does nothing.
class cJRAEvents {
  public:
    virtual ~cJRAEvents() = default;
    virtual void OnPreDataLoad(const JraPage& ResponceStream, bool& Cancel);
    virtual void OffPreDataLoad() {}
    virtual void SetKaisaiDay(const std::string& sHTML, bool& Cancel);
    virtual void SetKaisaiDayOff() {}
    virtual void SetRaceList(const JraPage& ResponceStream, bool& Cancel);
    virtual void SetRaceListOff() {}
    virtual void SetRaceRest(const JraPage& ResponceStream, bool& Cancel);
    virtual void SetRaceRestOff() {}
    virtual void SetRaceRestAuto(const JraPage& ResponceStream, bool& Cancel);
    virtual void SetRaceRestAutoOff() {}
    virtual void SetGridOzTanPuku(const JraPage& ResponceStream, bool& Cancel);
    virtual void SetGridOzTanPukuOff() {}
    virtual void SetGridOzWaku(const JraPage& ResponceStream, bool& Cancel);
    virtual void SetGridOzWakuOff() {}
    virtual void SetGridOzUmaRen(const JraPage& ResponceStream, bool& Cancel);
    virtual void SetGridOzUmaRenOff() {}
    virtual void SetGridOzWide(const JraPage& ResponceStream, bool& Cancel);
    virtual void SetGridOzWideOff() {}
    virtual void SetGridOzUmaTan(const JraPage& ResponceStream, bool& Cancel);
    virtual void SetGridOzUmaTanOff() {}
    virtual void SetGridOz3Ren(const JraPage& ResponceStream, bool& Cancel);
    virtual void SetGridOz3RenOff() {}
    virtual void SetGridOz3Tan(const JraPage& ResponceStream, bool& Cancel);
    virtual void SetGridOz3TanOff() {}
    /// A page of the walk could not be had, so the walk ends here. `message` names the page
    /// and why, on one line: "JRA のページ <code> を取得できませんでした: <reason>".
    virtual void PageFailed(const std::string& message);
};

/// The racing authority's page client. Its pages are reached by posting a page code to one
/// of three entry paths; a walk fetches a top page, takes the codes on it and fetches the
/// pages they name, all through one request object, and hands the pages to `events`. A walk
/// asks for each page once, however often a list names it; the counts it returns are of the
/// codes as listed, repeats included.
///
/// A failure of the site or of the network does not throw: it is logged at error level as
/// the method's name + "<<" + description + ">>" and the method goes on with its next step.
/// A page that answers with a status other than 200 ("HTML の取得に失敗しました。") ends the
/// walk at once with result 0 (-1 for PreDataGet) and without the end event; so does a page
/// of more than 4 MB (once inflated), whose transfer ends there. Between pages the walks let
/// the window breathe.
///
/// Every method throws StopRequested when the user stops it (from the window's breathe or
/// while a request waits) and passes on whatever an event handler throws; a walk throws
/// std::bad_alloc when memory runs out.
class cJRA {
  public:
    cJRA(const SsLogging& log, UserInterface& ui, HttpOptions http, RaceAuthoritySite site,
         MemberServer memberServer, cJRAEvents& events);

    /// Race keys that the owner sets before a result or odds walk: AutoRaceKey for
    /// GetRaceRestAuto, SelectedRaceKey for the others.
    std::string SelectedRaceKey;
    std::string AutoRaceKey;

    /// Meeting-day pages of the race cards: SetKaisaiDay per page with its text, then
    /// SetKaisaiDayOff. Returns the number of codes on the top page.
    std::int16_t GetKaisaiDay();
    /// Every race page of every meeting day: SetRaceList per race page, then SetRaceListOff.
    /// Returns the number of race codes on the meeting-day pages.
    std::int16_t GetRaceList();
    /// Fetches "/kestrova/data3/" + `InFileNm` from the member server (POST): 0 when it was
    /// there (with `InMode` 0 its text is handed to OnPreDataLoad), -1 otherwise. A time-out
    /// is shown in an information box.
    std::int16_t PreDataGet(std::string_view InFileNm, std::int16_t InMode = 0);

    /// The result page of AutoRaceKey's race (first matching meeting day only).
    std::int16_t GetRaceRestAuto();
    /// The result page of SelectedRaceKey's race (first matching meeting day only).
    std::int16_t GetRaceRest();
    /// Odds pages of SelectedRaceKey's race: win and place (first matching day, duplicate
    /// candidates skipped), bracket quinella, quinella, quinella-place, exacta, trio,
    /// trifecta. Each returns the number of candidate race-page codes. A kind that the race
    /// list does not link for the race is taken from the tabs of the race's win page, as the
    /// site's own lists link only that page.
    std::int16_t GetGridOzTanPuku();
    std::int16_t GetGridOzWaku();
    std::int16_t GetGridOzUmaRen();
    std::int16_t GetGridOzWide();
    std::int16_t GetGridOzUmaTan();
    std::int16_t GetGridOz3Ren();
    std::int16_t GetGridOz3Tan();

    /// One result or odds walk (the nine methods above share it).
    struct RaceWalk;

  private:
    class Walk;
    std::int16_t raceWalk(const RaceWalk& route);

    const SsLogging& log_;
    UserInterface& ui_;
    HttpOptions http_;
    RaceAuthoritySite site_;
    MemberServer memberServer_;
    cJRAEvents& events_;
};

/// The entry paths.
inline constexpr std::string_view kRaceCardsPath = "/JRADB/accessD.html";
inline constexpr std::string_view kResultsPath = "/JRADB/accessS.html";
inline constexpr std::string_view kOddsPath = "/JRADB/accessO.html";

/// Comparisons of a code's digits with a race key (1-based positions over the whole code).
/// Day: characters 20-27 are the key's date, 10-11 its venue, 12-19 its year, meeting and day.
bool dayCodeMatches(std::string_view dayCode, std::string_view raceKey);
/// Race number: characters 20-21 are the key's characters 15-16.
bool raceNumberMatches(std::string_view raceCode, std::string_view raceKey);
/// Race: venue, year, meeting, day and race number all the key's.
bool raceCodeMatches(std::string_view raceCode, std::string_view raceKey);

}  // namespace kestrova
