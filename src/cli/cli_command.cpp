#include "cli/cli_command.h"

#include <exception>
#include <string>

#include "base/atomic_file.h"
#include "base/errors.h"
#include "base/ss_logging.h"
#include "base/text.h"
#include "cli/help_text.h"
#include "cli/terminal_ui.h"
#include "export/data_file_names.h"
#include "export/export_run.h"
#include "export/export_state.h"
#include "export/host_folder.h"
#include "export/selection_check.h"
#include "services/app_log.h"
#include "services/app_settings.h"
#include "services/core_context.h"
#include "services/ini_file.h"
#include "web/member_server.h"

namespace kestrova::cli {

namespace {

constexpr std::string_view kTag = "kestrova-cli:export";

std::filesystem::path appFolderOf(const ExportRequest& request, const CliEnvironment& env) {
    return request.appFolder.value_or(env.executableFolder);
}

/// Prints a refusal on stderr and keeps it in the log, where a scheduled run's owner looks.
int refuse(const SsLogging& log, const CliEnvironment& env, std::string_view message,
           bool withUsage) {
    env.err << replaceAll(message, "\r\n", "\n") << '\n';
    if (withUsage) {
        env.err << '\n' << usageText();
    }
    env.err << std::flush;
    log.WarnLog(std::string(kTag) + "<<" + replaceAll(message, "\r\n", " ") + ">>");
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

}  // namespace

int runCli(std::span<const std::string_view> args, const CliEnvironment& env) {
    const ParsedCommand parsed = parseCommandLine(args, env.today);
    switch (parsed.kind) {
        case CommandKind::Help:
            env.out << helpText(static_cast<int>(env.today.year())) << std::flush;
            return kExitFinished;
        case CommandKind::Error: {
            const SsLogging log = makeAppLog(appFolderOf(parsed.request, env));
            log.InfoLog(std::string(kTag) + joinArguments(args.subspan(1)));
            return refuse(log, env, parsed.error, true);
        }
        case CommandKind::Export:
            break;
    }
    if (const auto& folder = parsed.request.appFolder;
        folder && !std::filesystem::is_directory(*folder)) {
        // Neither the settings nor the log can be reached; say so instead of writing nowhere.
        env.err << "アプリケーションフォルダがありません: " << pathText(*folder) << '\n'
                << std::flush;
        return kExitUsage;
    }
    const SsLogging log = makeAppLog(appFolderOf(parsed.request, env));
    log.InfoLog(std::string(kTag) + joinArguments(args.subspan(1)));
    return runExport(parsed.request, env);
}

int runExport(const ExportRequest& request, const CliEnvironment& env) {
    const auto appFolder = appFolderOf(request, env);
    const SsLogging log = makeAppLog(appFolder);

    const SelectionCheckResult check = lst_ThisW_Chk(selectionCheckInput(request));
    if (!check.ok) {
        return refuse(log, env, check.message, false);
    }

    const auto iniFile = settingsFile(appFolder);
    const std::filesystem::path hostFolder =
        request.hostFolder.value_or(readIniText(iniFile, "USE_OPT1", "TFJV_Path"));
    if (const auto problem = hostFolderProblem(hostFolder)) {
        return refuse(log, env, *problem, false);
    }

    const ServerSettings settings = loadServerSettings(iniFile);
    if (!settings.problems.empty()) {
        // A host the user set must not be replaced by the real server behind their back.
        return refuse(log, env, settings.problems.front(), false);
    }
    TerminalUi ui(env.out, env.err, env.progressColumns, &log);
    ui.setPastData(check.ThisWeekMode == 0);
    try {
        CoreContext ctx(log, ui, MemberServer(settings.memberHost, settings.schemeSetting));
        ExportState state;
        state.MonthFileTemplates = makeMonthFileTemplates(static_cast<int>(env.today.year()));
        switch (
            TFJV_CsvOut(ctx, state, makeSelection(request, check, hostFolder, env.today), &ui)) {
            case ExportOutcome::Finished:
                // The run has named its problems; a scheduler must not count it a success.
                return state.FilesFailed > 0 || state.Problems > 0 ? kExitIncomplete
                                                                   : kExitFinished;
            case ExportOutcome::Aborted:
                return kExitAborted;
            case ExportOutcome::HostFolderBusy:
                return kExitBusy;
            case ExportOutcome::NotStarted:
                break;
        }
        ui.info("出力処理を開始できませんでした。ログを確認して下さい。");
        return kExitFailure;
    } catch (const std::exception& error) {
        // The run handles its own failures; anything that still escapes must not look like
        // success to a scheduler.
        log.ErrorLog(errorText(kTag, describeError(error)));
        ui.info("<<" + describeError(error) + ">>");
        return kExitFailure;
    }
}

}  // namespace kestrova::cli
