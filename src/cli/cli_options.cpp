#include "cli/cli_options.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <map>

#include "base/atomic_file.h"
#include "base/text.h"
#include "export/data_file_names.h"
#include "export/race_keys.h"

namespace kestrova::cli {

namespace {

/// Thrown inside the parser only; becomes a ParsedCommand of kind Error.
struct BadArgument {
    std::string message;
};

std::optional<int> parseNumber(std::string_view text) {
    if (!isAsciiDigits(text)) {
        return std::nullopt;
    }
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

int parsePastYear(std::string_view text, int currentYear) {
    const auto year = text.size() == 4 ? parseNumber(text) : std::nullopt;
    if (!year || *year < kFirstDataYear || *year > currentYear) {
        throw BadArgument{"--past の年が正しくありません: " + std::string(text) + "（" +
                          std::to_string(kFirstDataYear) + "～" + std::to_string(currentYear) +
                          " の西暦４桁で指定して下さい）"};
    }
    return *year;
}

std::string parseDay(std::string_view text) {
    const auto value = text.size() == 8 ? parseNumber(text) : std::nullopt;
    const auto date =
        value ? std::chrono::year_month_day{std::chrono::year{*value / 10000},
                                            std::chrono::month{
                                                static_cast<unsigned>(*value / 100 % 100)},
                                            std::chrono::day{static_cast<unsigned>(*value % 100)}}
              : std::chrono::year_month_day{};
    // The day page carries a two-digit year, so only this century can be named.
    if (!date.ok() || date.year() < std::chrono::year{2000} ||
        date.year() > std::chrono::year{2099}) {
        throw BadArgument{"--day の日付が正しくありません: " + std::string(text) +
                          "（実在する日付を YYYYMMDD で指定して下さい）"};
    }
    return std::string(text);
}

/// Splits "all" or "CODE,CODE..." and checks every code against `allCodes`.
std::vector<std::string> parseCodeList(std::string_view option, std::string_view text,
                                       std::span<const std::string_view> allCodes,
                                       std::string_view allowed) {
    if (equalsIgnoringAsciiCase(trimSpaces(text), "all")) {
        return {allCodes.begin(), allCodes.end()};
    }
    std::vector<std::string> codes;
    std::size_t start = 0;
    while (true) {
        const auto comma = text.find(',', start);
        const auto code = trimSpaces(text.substr(start, comma - start));
        if (std::find(allCodes.begin(), allCodes.end(), code) == allCodes.end()) {
            throw BadArgument{std::string(option) + " のコードが正しくありません: " +
                              (code.empty() ? std::string("（空）") : std::string(code)) +
                              "（all または " + std::string(allowed) + "）"};
        }
        codes.emplace_back(code);
        if (comma == std::string_view::npos) {
            return codes;
        }
        start = comma + 1;
    }
}

std::span<const std::string_view> indexKindCodes() {
    return std::span(DataKindCodes).subspan(kFirstIndexKind, kIndexKindCount);
}

/// Marks the comment entries of `codes`; `parity` 0 for prediction, 1 for result.
void selectComments(ExportRequest& request, const std::vector<std::string>& codes,
                    std::size_t parity) {
    for (std::size_t kind = 0; kind < kCommentKindCodes.size(); ++kind) {
        if (std::find(codes.begin(), codes.end(), kCommentKindCodes[kind]) != codes.end()) {
            request.commentEntries[2 * kind + parity] = true;
        }
    }
}

void addIndexCodes(ExportRequest& request, const std::vector<std::string>& codes) {
    for (const auto& code : codes) {
        if (std::find(request.indexCodes.begin(), request.indexCodes.end(), code) ==
            request.indexCodes.end()) {
            request.indexCodes.push_back(code);
        }
    }
    // The run walks the selected entries in list order, whatever order they were named in.
    const auto table = indexKindCodes();
    std::sort(request.indexCodes.begin(), request.indexCodes.end(),
              [&table](const std::string& a, const std::string& b) {
                  return std::find(table.begin(), table.end(), a) <
                         std::find(table.begin(), table.end(), b);
              });
}

void setFolderOnce(std::optional<std::filesystem::path>& folder, std::string_view option,
                   std::string_view value) {
    if (folder) {
        throw BadArgument{"オプション " + std::string(option) + " は１回だけ指定できます。"};
    }
    folder = pathFromUtf8(value);
}

using Handlers = std::map<std::string_view, std::function<void(std::string_view)>>;
using Flags = std::map<std::string_view, std::function<void()>>;

/// Walks the options after a command: `valued` take a value (as the next argument or after
/// "="), `flags` none; anything else is refused. Positional arguments go to `positional`.
void parseOptions(std::span<const std::string_view> args, const Handlers& valued,
                  const Flags& flags, bool& helpAsked,
                  const std::function<void(std::string_view)>& positional) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            helpAsked = true;
            continue;
        }
        if (!arg.starts_with("-")) {
            positional(arg);
            continue;
        }
        if (const auto flag = flags.find(arg); flag != flags.end()) {
            flag->second();
            continue;
        }
        const auto equals = arg.find('=');
        const auto name = arg.substr(0, equals);
        const auto handler = valued.find(name);
        if (handler == valued.end()) {
            throw BadArgument{"不明なオプションです: " + std::string(arg)};
        }
        if (equals != std::string_view::npos) {
            handler->second(arg.substr(equals + 1));
        } else if (i + 1 < args.size()) {
            handler->second(args[++i]);
        } else {
            throw BadArgument{"オプション " + std::string(name) + " には値が必要です。"};
        }
    }
}

void refusePositional(std::string_view arg) {
    throw BadArgument{"不明な引数です: " + std::string(arg)};
}

void setAppFolder(ExportRequest& request, std::string_view value) {
    if (value.empty()) {
        throw BadArgument{"--app-folder のフォルダが空です。"};
    }
    setFolderOnce(request.appFolder, "--app-folder", value);
}

void parseExportArguments(std::span<const std::string_view> args, ExportRequest& request,
                          int currentYear, bool& helpAsked) {
    const std::string_view commentCodes = "001, 003, 004, 005, 006";
    const Handlers valued = {
        {"--app-folder", [&](std::string_view v) { setAppFolder(request, v); }},
        {"--host-folder",
         [&](std::string_view v) { setFolderOnce(request.hostFolder, "--host-folder", v); }},
        {"--past",
         [&](std::string_view v) {
             const int year = parsePastYear(v, currentYear);
             if (std::find(request.pastYears.begin(), request.pastYears.end(), year) ==
                 request.pastYears.end()) {
                 request.pastYears.push_back(year);
             }
         }},
        {"--day",
         [&](std::string_view v) {
             auto day = parseDay(v);
             const auto at = std::lower_bound(request.days.begin(), request.days.end(), day);
             if (at == request.days.end() || *at != day) {
                 request.days.insert(at, std::move(day));
             }
         }},
        {"--kinds",
         [&](std::string_view v) {
             addIndexCodes(request,
                           parseCodeList("--kinds", v, indexKindCodes(), "010～470 の指数コード"));
         }},
        {"--predict",
         [&](std::string_view v) {
             selectComments(request, parseCodeList("--predict", v, kCommentKindCodes, commentCodes),
                            0);
         }},
        {"--result",
         [&](std::string_view v) {
             selectComments(request, parseCodeList("--result", v, kCommentKindCodes, commentCodes),
                            1);
         }},
    };
    const Flags flags = {{"--this-week", [&] { request.thisWeek = true; }},
                         {"--no-cache", [&] { request.noCache = true; }}};
    parseOptions(args, valued, flags, helpAsked, refusePositional);
    if (request.thisWeek && (!request.days.empty() || !request.pastYears.empty())) {
        throw BadArgument{"--this-week は --day や --past と一緒に指定できません。"};
    }
}

void parseDaysArguments(std::span<const std::string_view> args, ExportRequest& request,
                        bool& helpAsked) {
    const Handlers valued = {
        {"--app-folder", [&](std::string_view v) { setAppFolder(request, v); }}};
    parseOptions(args, valued, {}, helpAsked, refusePositional);
}

void parseRaceArguments(std::span<const std::string_view> args, ExportRequest& request,
                        RaceRequest& race, bool& helpAsked) {
    const Handlers valued = {
        {"--app-folder", [&](std::string_view v) { setAppFolder(request, v); }},
        {"--save", [&](std::string_view v) {
             if (v.empty()) {
                 throw BadArgument{"--save のファイル名が空です。"};
             }
             setFolderOnce(race.saveTo, "--save", v);
         }}};
    std::vector<std::string_view> positional;
    parseOptions(args, valued, {}, helpAsked,
                 [&](std::string_view arg) { positional.push_back(arg); });
    if (helpAsked) {
        return;
    }
    if (positional.size() != 2) {
        throw BadArgument{"race には ページの種類 と レースキー を指定して下さい。"};
    }
    if (std::find(kRacePages.begin(), kRacePages.end(), positional[0]) == kRacePages.end()) {
        throw BadArgument{"不明なページの種類です: " + std::string(positional[0]) +
                          "（results, win, bracket, quinella, wide, exacta, trio, trifecta）"};
    }
    if (!isValidRaceKey(positional[1])) {
        throw BadArgument{"レースキーが正しくありません: " + std::string(positional[1]) +
                          "（年月日８桁・場２桁・回２桁・日２桁・レース２桁の１６桁）"};
    }
    race.page = positional[0];
    race.raceKey = positional[1];
}

void parseScheduleArguments(std::span<const std::string_view> args, ParsedCommand& parsed,
                            int currentYear, bool& helpAsked) {
    for (const auto& [option, action] : {std::pair{"--remove", ScheduleAction::Remove},
                                         std::pair{"--show", ScheduleAction::Show}}) {
        if (std::find(args.begin(), args.end(), option) == args.end()) {
            continue;
        }
        parseOptions(args, {}, {{option, [] {}}}, helpAsked, refusePositional);
        parsed.schedule = action;
        return;
    }
    parseExportArguments(args, parsed.request, currentYear, helpAsked);
    if (!parsed.request.thisWeek && !helpAsked) {
        throw BadArgument{
            "schedule には --this-week と出力の指定（--kinds など）、または --remove、--show "
            "を指定して下さい。"};
    }
}

}  // namespace

ParsedCommand parseCommandLine(std::span<const std::string_view> args,
                               std::chrono::year_month_day today) {
    ParsedCommand parsed;
    if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
        parsed.kind = CommandKind::Help;
        return parsed;
    }
    if (args[0] == "--version") {
        parsed.kind = CommandKind::Version;
        return parsed;
    }
    bool helpAsked = false;
    try {
        if (args[0] == "export") {
            parseExportArguments(args.subspan(1), parsed.request, static_cast<int>(today.year()),
                                 helpAsked);
            parsed.kind = CommandKind::Export;
        } else if (args[0] == "days") {
            parseDaysArguments(args.subspan(1), parsed.request, helpAsked);
            parsed.kind = CommandKind::Days;
        } else if (args[0] == "cache") {
            bool clear = false;
            const Handlers valued = {
                {"--app-folder", [&](std::string_view v) { setAppFolder(parsed.request, v); }}};
            parseOptions(args.subspan(1), valued, {{"--clear", [&] { clear = true; }}}, helpAsked,
                         refusePositional);
            if (!clear && !helpAsked) {
                throw BadArgument{"cache には --clear を指定して下さい。"};
            }
            parsed.kind = CommandKind::ClearCache;
        } else if (args[0] == "schedule") {
            parseScheduleArguments(args.subspan(1), parsed, static_cast<int>(today.year()),
                                   helpAsked);
            parsed.kind = CommandKind::Schedule;
        } else if (args[0] == "race") {
            parseRaceArguments(args.subspan(1), parsed.request, parsed.race, helpAsked);
            parsed.kind = CommandKind::Race;
        } else {
            throw BadArgument{"不明なコマンドです: " + std::string(args[0])};
        }
    } catch (const BadArgument& bad) {
        parsed.kind = CommandKind::Error;
        parsed.error = bad.message;
    }
    if (helpAsked && parsed.kind != CommandKind::Error) {
        parsed.kind = CommandKind::Help;
    }
    return parsed;
}

SelectionCheckInput selectionCheckInput(const ExportRequest& request) {
    SelectionCheckInput input;
    for (const int year : request.pastYears) {
        input.thisWeekCodes.push_back(monthFileTemplate(year));
    }
    for (const auto& day : request.days) {
        input.thisWeekCodes.push_back(dayFileNameOf(day));
    }
    if (request.thisWeek) {
        input.thisWeekCodes.push_back(std::string(kDayFileNameLength, 'x'));
    }
    input.anyDataKind = !request.indexCodes.empty();
    input.anyComment = std::find(request.commentEntries.begin(), request.commentEntries.end(),
                                 true) != request.commentEntries.end();
    return input;
}

}  // namespace kestrova::cli
