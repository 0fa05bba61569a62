#include "cli/cli_command.h"

#include <exception>
#include <map>
#include <optional>
#include <string>

#include "base/atomic_file.h"
#include "base/errors.h"
#include "base/ss_logging.h"
#include "base/text.h"
#include "cli/help_text.h"
#include "cli/terminal_ui.h"
#include "export/data_file_names.h"
#include "export/export_run.h"
#include "export/host_folder.h"
#include "export/selection_check.h"
#include "export/this_week.h"
#include "services/app_folder.h"
#include "services/app_log.h"
#include "services/app_settings.h"
#include "services/core_context.h"
#include "services/data_cache.h"
#include "services/ini_file.h"
#include "services/program_texts.h"
#include "web/html_tables.h"
#include "web/member_server.h"
#include "web/race_authority.h"

namespace kestrova::cli {

namespace {

constexpr std::string_view kNoDaysThisWeek = "今週の開催日データはありません。";

std::filesystem::path appFolderOf(const ExportRequest& request, const CliEnvironment& env) {
    return request.appFolder ? *request.appFolder : env.defaultAppFolder().folder;
}

std::string tagOf(CommandKind kind) {
    switch (kind) {
        case CommandKind::Days:
            return "kestrova-cli:days";
        case CommandKind::Race:
            return "kestrova-cli:race";
        case CommandKind::ClearCache:
            return "kestrova-cli:cache";
        case CommandKind::Schedule:
            return "kestrova-cli:schedule";
        default:
            return "kestrova-cli:export";
    }
}

/// Prints a refusal on stderr and keeps it in the log, where a scheduled run's owner looks.
int refuse(const SsLogging& log, const CliEnvironment& env, std::string_view tag,
           std::string_view message, bool withUsage) {
    env.err << replaceAll(message, "\r\n", "\n") << '\n';
    if (withUsage) {
        env.err << '\n' << usageText();
    }
    env.err << std::flush;
    log.WarnLog(std::string(tag) + "<<" + replaceAll(message, "\r\n", " ") + ">>");
    return kExitUsage;
}

std::string joinArguments(std::span<const std::string_view> args) {
    std::string joined;
    for (const auto arg : args) {
        joined += ' ';
        joined += arg;
    }
    return joined;
}

ExportSelection makeSelection(const ExportRequest& request, const SelectionCheckResult& check,
                              std::filesystem::path hostFolder, std::chrono::year_month_day today) {
    ExportSelection selection;
    selection.ThisWeekMode = check.ThisWeekMode;
    selection.StartYear = check.StartYear;
    for (const auto& day : request.days) {
        selection.dayPages.push_back(dayFileNameOf(day));
    }
    selection.indexCodes = request.indexCodes;
    selection.commentEntries = request.commentEntries;
    selection.hostFolder = std::move(hostFolder);
    selection.today = today;
    return selection;
}

/// What every command that reaches a server needs: the log, the settings, a terminal face.
/// The settings file is read once, here.
struct Session {
    Session(const ExportRequest& request, const CliEnvironment& env, std::string tagText,
            bool wantsCache = false)
        : appFolder(appFolderOf(request, env)),
          log(makeAppLog(appFolder)),
          ini(settingsFile(appFolder)),
          settings(loadServerSettings(ini)),
          ui(env.out, env.err, env.progressColumns, &log),
          tag(std::move(tagText)),
          cacheUsed(wantsCache && settings.dataCache && !request.noCache) {
        // A scheduled run in a folder it cannot write would otherwise leave no trace at all.
        if (const auto notice = unwritableFilesNotice(appFolder, cacheUsed); !notice.empty()) {
            env.err << replaceAll(notice, "\r\n", "\n") << '\n' << std::flush;
            log.WarnLog(tag + ": " + replaceAll(notice, "\r\n", " "));
        }
    }

    CoreContext context() { return CoreContext(log, ui, settings); }

    /// Anything the command's own handling let through must not look like success.
    int unexpected(const std::exception& error) {
        log.ErrorLog(errorText(tag, describeError(error)));
        ui.info("<<" + describeError(error) + ">>");
        return kExitFailure;
    }

    std::filesystem::path appFolder;
    SsLogging log;
    IniSnapshot ini;
    ServerSettings settings;
    TerminalUi ui;
    std::string tag;
    bool cacheUsed;
};

/// Names each page the discovery could not get, on standard error and in the log.
void reportDiscoveryProblems(Session& session, const ThisWeekDays& week) {
    for (const std::string& problem : week.problems) {
        session.ui.warning(problem);
        session.log.WarnLog(session.tag + ": " + problem);
    }
}

/// One closing line, on standard error and in the log.
void closingNotice(Session& session, std::string_view text) {
    session.ui.info(text);
    session.log.WarnLog(session.tag + ": " + std::string(text));
}

/// "yyyy年mm月dd日" of an offered day to yyyymmdd.
std::string dayKeyOf(const OfferedDay& day) {
    return "20" + day.fileName.substr(2, 6);
}

/// Receives the one page a result or odds walk delivers.
class PageCatcher final : public cJRAEvents {
  public:
    void SetRaceRest(const JraPage& page, bool&) override { caught = page; }
    void SetGridOzTanPuku(const JraPage& page, bool&) override { caught = page; }
    void SetGridOzWaku(const JraPage& page, bool&) override { caught = page; }
    void SetGridOzUmaRen(const JraPage& page, bool&) override { caught = page; }
    void SetGridOzWide(const JraPage& page, bool&) override { caught = page; }
    void SetGridOzUmaTan(const JraPage& page, bool&) override { caught = page; }
    void SetGridOz3Ren(const JraPage& page, bool&) override { caught = page; }
    void SetGridOz3Tan(const JraPage& page, bool&) override { caught = page; }

    std::optional<JraPage> caught;
};

/// A cell on one line of tab-separated text: its own tabs and line breaks become spaces.
std::string flatCell(std::string_view cell) {
    std::string flat;
    for (const char c : cell) {
        flat += (c == '\t' || c == '\r' || c == '\n') ? ' ' : c;
    }
    return flat;
}

/// A page is saved only into a regular file: renaming over a device or a pipe would put a
/// plain file in its place.
std::optional<std::string> saveProblem(const std::filesystem::path& file) {
    std::error_code error;
    const auto status = std::filesystem::status(file, error);
    if (!std::filesystem::exists(status) || std::filesystem::is_regular_file(status)) {
        return std::nullopt;
    }
    return "--save の保存先は通常のファイルではないため書き込みません: " + pathText(file);
}

/// `cache --clear`: an entry left behind is named, and the exit code says so.
int runClearCache(const ExportRequest& request, const CliEnvironment& env, const SsLogging& log,
                  const std::string& tag) {
    const auto appFolder = appFolderOf(request, env);
    // The server does not matter for removing entries: the settings are not read.
    DataCache cache = *openDataCache(appFolder, {}, true);
    const DataCache::Cleared cleared = cache.clear();
    if (cleared.failures.empty()) {
        env.out << "キャッシュを空にしました（" << cleared.removed << "件）。" << std::endl;
        log.InfoLog(tag + ": " + std::to_string(cleared.removed) + "件を削除しました。");
        return kExitFinished;
    }
    const std::string message = "キャッシュを空にできませんでした（" +
                                std::to_string(cleared.removed) + "件を削除、" +
                                std::to_string(cleared.failures.size()) + "件を削除できません）。";
    env.err << message << '\n';
    log.WarnLog(tag + "<<" + message + ">>");
    for (const std::string& failure : cleared.failures) {
        env.err << "  " << failure << '\n';
        log.WarnLog(tag + ": " + failure);
    }
    env.err << std::flush;
    return kExitIncomplete;
}

}  // namespace

int runCli(std::span<const std::string_view> args, const CliEnvironment& env) {
    ParsedCommand parsed = parseCommandLine(args, env.today);
    const std::string tag = tagOf(parsed.kind);
    if (parsed.kind == CommandKind::Help) {
        env.out << helpText(static_cast<int>(env.today.year())) << std::flush;
        return kExitFinished;
    }
    if (parsed.kind == CommandKind::Version) {
        env.out << versionOutput() << std::endl;
        return kExitFinished;
    }
    const bool folderGiven = parsed.request.appFolder.has_value();
    const AppFolder appFolder =
        folderGiven ? AppFolder{*parsed.request.appFolder, false} : env.defaultAppFolder();
    parsed.request.appFolder = appFolder.folder;
    if (parsed.kind == CommandKind::Error) {
        const SsLogging log = makeAppLog(appFolder.folder);
        log.InfoLog(tag + joinArguments(args.subspan(1)));
        return refuse(log, env, tag, parsed.error, true);
    }
    if (const auto& folder = parsed.request.appFolder;
        folderGiven && !std::filesystem::is_directory(*folder)) {
        // Neither the settings nor the log can be reached; say so instead of writing nowhere.
        env.err << "アプリケーションフォルダがありません: " << pathText(*folder) << '\n'
                << std::flush;
        return kExitUsage;
    }
    const SsLogging log = makeAppLog(appFolder.folder);
    log.InfoLog(tag + joinArguments(args.subspan(1)));
    log.InfoLog(appFolderLogLine(appFolder, env.executableFolder));
    switch (parsed.kind) {
        case CommandKind::Days:
            return runDays(parsed.request, env);
        case CommandKind::Race:
            return runRace(parsed.request, parsed.race, env);
        case CommandKind::ClearCache:
            return runClearCache(parsed.request, env, log, tag);
        case CommandKind::Schedule:
            return runSchedule(parsed.schedule, parsed.request, env);
        default:
            return runExport(parsed.request, env);
    }
}

int runExport(const ExportRequest& given, const CliEnvironment& env) {
    Session session(given, env, tagOf(CommandKind::Export), true);
    const SsLogging& log = session.log;
    const std::string& tag = session.tag;

    const SelectionCheckResult check = lst_ThisW_Chk(selectionCheckInput(given));
    if (!check.ok) {
        return refuse(log, env, tag, check.message, false);
    }
    if (!session.settings.problems.empty()) {
        // A host the user set must not be replaced by the real server behind their back; a
        // settings file that cannot be read names no host folder either.
        return refuse(log, env, tag, session.settings.problems.front(), false);
    }
    const std::filesystem::path hostFolder =
        given.hostFolder.value_or(pathFromUtf8(session.ini.text("USE_OPT1", "TFJV_Path")));
    if (const auto problem = hostFolderProblem(hostFolder)) {
        return refuse(log, env, tag, *problem, false);
    }
    TerminalUi& ui = session.ui;
    ui.setPastData(check.ThisWeekMode == 0);
    try {
        CoreContext ctx = session.context();
        ExportRequest request = given;
        bool daysMissing = false;  // the discovery failed part-way
        if (request.thisWeek) {
            const ThisWeekDays week = thisWeekDays(ctx);
            if (week.checkFailed) {
                ui.info(kCheckFailedNotice);
                return kExitAborted;
            }
            reportDiscoveryProblems(session, week);
            if (week.discoveryFailed) {
                closingNotice(session, kDiscoveryFailed);
                return kExitDiscoveryFailed;
            }
            daysMissing = !week.problems.empty();
            if (week.days.empty()) {
                ui.info(kNoDaysThisWeek);
                log.InfoLog(tag + ": " + std::string(kNoDaysThisWeek));
                if (daysMissing) {
                    closingNotice(session, kDiscoveryIncomplete);
                    return kExitIncomplete;
                }
                return kExitFinished;
            }
            for (const OfferedDay& day : week.days) {
                request.days.push_back(dayKeyOf(day));
            }
        }
        const ExportResult result =
            runExportJob(ctx,
                         {.selection = makeSelection(request, check, hostFolder, env.today),
                          .appFolder = session.appFolder,
                          .useCache = session.cacheUsed,
                          .confirm = false},
                         &ui);
        switch (result.outcome) {
            case ExportOutcome::Finished:
                // The run has named its problems; a scheduler must not count it a success.
                if (daysMissing) {
                    closingNotice(session, kDiscoveryIncomplete);
                }
                return result.complete() && !daysMissing ? kExitFinished : kExitIncomplete;
            case ExportOutcome::Aborted:
            case ExportOutcome::Stopped:
                return kExitAborted;
            case ExportOutcome::HostFolderBusy:
                return kExitBusy;
            case ExportOutcome::NotStarted:
                break;
        }
        ui.info("出力処理を開始できませんでした。ログを確認して下さい。");
        return kExitFailure;
    } catch (const std::exception& error) {
        return session.unexpected(error);
    }
}

int runDays(const ExportRequest& request, const CliEnvironment& env) {
    Session session(request, env, tagOf(CommandKind::Days));
    if (!session.settings.problems.empty()) {
        return refuse(session.log, env, session.tag, session.settings.problems.front(), false);
    }
    try {
        CoreContext ctx = session.context();
        const ThisWeekDays week = thisWeekDays(ctx);
        if (week.checkFailed) {
            session.ui.info(kCheckFailedNotice);
            return kExitAborted;
        }
        reportDiscoveryProblems(session, week);
        if (week.discoveryFailed) {
            closingNotice(session, kDiscoveryFailed);
            return kExitDiscoveryFailed;
        }
        if (week.days.empty()) {
            session.ui.info(kNoDaysThisWeek);
        }
        for (const OfferedDay& day : week.days) {
            env.out << day.dayText << "  " << day.fileName << '\n';
        }
        env.out << std::flush;
        if (!week.problems.empty()) {
            closingNotice(session, kDiscoveryIncomplete);
            return kExitIncomplete;
        }
        return kExitFinished;
    } catch (const std::exception& error) {
        return session.unexpected(error);
    }
}

int runRace(const ExportRequest& request, const RaceRequest& race, const CliEnvironment& env) {
    Session session(request, env, tagOf(CommandKind::Race));
    if (!session.settings.problems.empty()) {
        return refuse(session.log, env, session.tag, session.settings.problems.front(), false);
    }
    if (const auto problem = race.saveTo ? saveProblem(*race.saveTo) : std::nullopt) {
        return refuse(session.log, env, session.tag, *problem, false);
    }
    try {
        CoreContext ctx = session.context();
        PageCatcher catcher;
        cJRA jra(ctx.log, ctx.ui, ctx.http, ctx.raceAuthority, ctx.memberServer, catcher);
        jra.SelectedRaceKey = race.raceKey;
        const std::map<std::string_view, std::int16_t (cJRA::*)()> walks = {
            {"results", &cJRA::GetRaceRest},   {"win", &cJRA::GetGridOzTanPuku},
            {"bracket", &cJRA::GetGridOzWaku}, {"quinella", &cJRA::GetGridOzUmaRen},
            {"wide", &cJRA::GetGridOzWide},    {"exacta", &cJRA::GetGridOzUmaTan},
            {"trio", &cJRA::GetGridOz3Ren},    {"trifecta", &cJRA::GetGridOz3Tan}};
        (jra.*walks.at(race.page))();
        if (!catcher.caught) {
            const std::string message =
                "レース " + race.raceKey + " の " + race.page + " のページが見つかりませんでした。";
            session.ui.info(message);
            session.log.WarnLog(session.tag + ": " + message);
            return kExitAborted;
        }
        if (race.saveTo) {
            writeFileAtomically(*race.saveTo, catcher.caught->body);
        }
        // The trifecta's tables hold the third place only: the first and second stand in a
        // block before each table.
        const bool headed = race.page == "trifecta";
        bool firstTable = true;
        for (const TableGrid& table :
             readTableGrids(catcher.caught->body, catcher.caught->contentType)) {
            if (!firstTable) {
                env.out << '\n';
            }
            firstTable = false;
            if (headed && !table.heading.empty()) {
                env.out << flatCell(table.heading) << '\n';
            }
            for (const auto& row : table.rows) {
                for (std::size_t c = 0; c < row.size(); ++c) {
                    env.out << (c == 0 ? "" : "\t") << flatCell(row[c]);
                }
                env.out << '\n';
            }
        }
        env.out << std::flush;
        return kExitFinished;
    } catch (const std::exception& error) {
        return session.unexpected(error);
    }
}

}  // namespace kestrova::cli
