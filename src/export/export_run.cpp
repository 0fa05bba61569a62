#include "export/export_run.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "base/atomic_file.h"
#include "base/errors.h"
#include "base/text.h"
#include "export/comment_file.h"
#include "export/data_download.h"
#include "export/data_file_names.h"
#include "export/day_rows.h"
#include "export/host_file.h"
#include "export/host_folder.h"
#include "export/index_csv.h"
#include "export/race_keys.h"
#include "services/activity.h"
#include "services/core_context.h"

namespace kestrova {

namespace {

constexpr std::string_view kRunTag = "frmTFLink:TFJV_CsvOut";
constexpr std::string_view kButtonTag = "frmTFLink:cmd_TFJVOut_Click";

constexpr std::string_view kDownloadFailureNotice =
    "通信エラー等でデータの取得ができませんでした。再度、出力処理を行って下さい。\r\n\r\n"
    "それでもエラーが発生する場合はしばらく時間を空けてから出力処理を行って下さい。";
constexpr std::string_view kAbortedLine = "出力処理を中止しました。";

constexpr int kStatusOk = 200;
constexpr int kStatusNotFound = 404;
constexpr int kMonthsPerYear = 12;

/// The host's comment folders: predictions from the even list entries, results from the odd.
struct CommentGroup {
    std::size_t parity;
    std::string_view folder;
    std::string_view prefix;
    std::string_view label;
};
constexpr CommentGroup kPrediction{0, "YOS_COM", "YC", "予想コメント "};
constexpr CommentGroup kResult{1, "KEK_COM", "KC", "結果コメント "};

/// "yyyy年mm月" of a key that begins with yyyymm.
std::string monthText(std::string_view key) {
    return std::string(key.substr(0, 4)) + "年" + std::string(key.substr(4, 2)) + "月";
}

/// "yyyy年mm月dd日" of a day key.
std::string dayText(std::string_view dayKey) {
    return monthText(dayKey) + std::string(dayKey.substr(6, 2)) + "日";
}

/// yyyymm of the month before `today`: the newest month the server should have.
std::string lastMonthKey(std::chrono::year_month_day today) {
    const std::chrono::year_month last = today.year() / today.month() - std::chrono::months(1);
    char key[8];
    std::snprintf(key, sizeof key, "%04d%02u", static_cast<int>(last.year()) % 10000,
                  static_cast<unsigned>(last.month()));
    return key;
}

/// One run of TFJV_CsvOut.
class ExportRun {
  public:
    ExportRun(CoreContext& ctx, ExportState& state, const ExportSelection& selection,
              ExportProgress& progress, HostWriter& host)
        : ctx_(ctx), state_(state), selection_(selection), progress_(progress), host_(host) {}

    std::size_t plannedFiles() const {
        if (selection_.ThisWeekMode != 0) {
            return selection_.dayPages.size();
        }
        std::size_t months = 0;
        for (const auto& monthTemplate : state_.MonthFileTemplates) {
            if (monthTemplate.size() >= 4 && monthTemplate.substr(2, 2) >= selection_.StartYear) {
                months += kMonthsPerYear;
            }
        }
        return months;
    }

    ExportOutcome pastPass() {
        const std::vector<std::string> names = monthFileNames();
        for (std::size_t at = 0; at < names.size(); ++at) {
            const std::string& fileName = names[at];
            const auto download = fetch(fileName, nextOf(names, at));
            if (download.failed) {
                return ExportOutcome::Aborted;
            }
            if (download.missing) {
                // The first month the server does not have ends the export.
                reportPassEnd("20" + fileName.substr(2, 4));
                return ExportOutcome::Finished;
            }
            lastMonth_ = download.key.substr(0, 6);
            const RecordSelection records = selectRecords(lastMonth_, fileName);
            for (const auto& dayKey : dayKeyList(state_.TFDataTable, records.rows, download.key)) {
                dayGroup(dayKey, records.rows);
            }
        }
        reportPassEnd({});
        return ExportOutcome::Finished;
    }

    ExportOutcome thisWeekPass() {
        const std::vector<std::string>& pages = selection_.dayPages;
        for (std::size_t at = 0; at < pages.size(); ++at) {
            const std::string& page = pages[at];
            const auto download = fetch(page, nextOf(pages, at));
            if (download.failed || download.missing) {
                return ExportOutcome::Aborted;
            }
            const RecordSelection records = selectRecords(download.key, page);
            if (records.rows.empty()) {
                // Writing would replace the day's files with empty ones.
                const std::string line =
                    dayText(download.key) +
                    " の有効なデータがないため、ファイルを出力しませんでした。";
                LogOut(ctx_.ui, ctx_.log, line);
                ctx_.log.WarnLog(std::string(kRunTag) + ": " + page + ": " + line);
                ++state_.Problems;
                continue;
            }
            dayGroup(download.key, records.rows);
        }
        return ExportOutcome::Finished;
    }

    /// Shows the download failure notice and ends the activity list with the abort line.
    void reportAbort() {
        ctx_.ui.info(kDownloadFailureNotice);
        LogOut(ctx_.ui, ctx_.log, kAbortedLine);
    }

  private:
    struct Download {
        bool failed = false;
        bool missing = false;  ///< 404 of a month file
        std::string key;
    };

    /// The month files of the selected years, in order.
    std::vector<std::string> monthFileNames() const {
        std::vector<std::string> names;
        for (const auto& monthTemplate : state_.MonthFileTemplates) {
            if (monthTemplate.empty()) {
                break;
            }
            if (monthTemplate.substr(2, 2) < state_.StartYear) {
                continue;
            }
            for (int month = 1; month <= kMonthsPerYear; ++month) {
                names.push_back(monthFileName(monthTemplate, month));
            }
        }
        return names;
    }

    static std::string nextOf(const std::vector<std::string>& names, std::size_t at) {
        return at + 1 < names.size() ? names[at + 1] : std::string();
    }

    /// Reads `fileName`; once it has arrived, `next` (when there is one) is fetched while
    /// this one's files are written.
    Download fetch(const std::string& fileName, const std::string& next) {
        checkStop();
        progress_.fileStarted(fileName, downloads_++);
        Download result;
        const TFDataResult answer =
            Get_TFData(ctx_, state_, fileName, false, ahead_ ? &*ahead_ : nullptr);
        ahead_.reset();
        if (answer.ok && answer.status == kStatusOk && !next.empty()) {
            ahead_.emplace(ctx_, next);
        }
        if (!answer.ok) {
            result.failed = true;
            return result;
        }
        if (answer.status == kStatusNotFound && selection_.ThisWeekMode == 0) {
            result.missing = true;
            return result;
        }
        if (answer.status != kStatusOk) {
            // Nothing was read: going on would write the previous file's rows again.
            ctx_.log.ErrorLog(errorText(kRunTag, fileName + " の取得でサーバーが状態 " +
                                                     std::to_string(answer.status) +
                                                     " を返しました。"));
            result.failed = true;
            return result;
        }
        result.key = answer.key;
        return result;
    }

    /// The records of the file just read that may be written; the others are reported.
    RecordSelection selectRecords(std::string_view period, const std::string& fileName) {
        RecordSelection records = kestrova::selectRecords(state_.TFDataTable, period);
        if (records.skipped != 0) {
            const std::string line = "レースキー・日付・値が正しくないデータ " +
                                     std::to_string(records.skipped) + "件を読み飛ばしました...";
            LogOut(ctx_.ui, ctx_.log, line);
            ctx_.log.WarnLog(std::string(kRunTag) + ": " + fileName + ": " + line);
        }
        return records;
    }

    /// Names the last month written. A month missing before the newest month the server
    /// should have (last month) is a gap in its data, not the end of it.
    void reportPassEnd(const std::string& missingMonth) {
        const std::string written =
            lastMonth_.empty() ? std::string("出力できる蓄積データはありませんでした。")
                               : monthText(lastMonth_) + "分までの蓄積データを出力しました。";
        if (!missingMonth.empty() && missingMonth < lastMonthKey(selection_.today)) {
            const std::string line = monthText(missingMonth) +
                                     "のデータがサーバーにありません。それ以降は出力していません。";
            LogOut(ctx_.ui, ctx_.log, line);
            ctx_.log.WarnLog(std::string(kRunTag) + ": " + line);
            ++state_.Problems;
        }
        LogOut(ctx_.ui, ctx_.log, written);
    }

    /// The comment and index files of one day.
    void dayGroup(const std::string& dayKey, const RowList& records) {
        // The month file's own key (yyyymm) heads every day list; it is not a day.
        if (!isValidDayKey(dayKey)) {
            return;
        }
        progress_.dayStarted(dayKey);
        const RowList rows = recordRowsOfDay(state_.TFDataTable, records, dayKey);

        commentGroup(kPrediction, dayKey, rows);
        commentGroup(kResult, dayKey, rows);
        state_.OutputCount = 0;
        for (const auto& code : selection_.indexCodes) {
            checkStop();
            count(AlsOut(ctx_.log, host_, state_.TFDataTable, "KSTR_DATA", "KSTR" + code, dayKey,
                         rows));
        }
        if (state_.OutputCount != 0) {
            LogOut(
                ctx_.ui, ctx_.log,
                "選択データ（指数） " + std::to_string(state_.OutputCount) + "件出力しました...");
        }
        progress_.dayFinished(dayKey, state_.FilesWritten);
    }

    /// Ends the run here when the user asked it to stop: between two files, never inside one.
    void checkStop() {
        if (progress_.stopRequested()) {
            throw StopRequested();
        }
    }

    /// The comment files of one kind (prediction or result) of a day, when any is selected.
    void commentGroup(const CommentGroup& group, const std::string& dayKey, const RowList& rows) {
        if (!setCommentFlags(group.parity)) {
            return;
        }
        checkStop();
        state_.OutputCount = 0;
        count(CmtOut(ctx_.log, host_, state_.TFDataTable, state_.CommentKindFlags,
                     std::filesystem::path("MY_DATA") / group.folder, dayKey, group.prefix, rows));
        LogOut(ctx_.ui, ctx_.log,
               std::string(group.label) + std::to_string(state_.OutputCount) + "件出力しました...");
    }

    /// Sets CommentKindFlags from the prediction (0) or result (1) entries; true when any.
    bool setCommentFlags(std::size_t parity) {
        bool any = false;
        for (std::size_t kind = 0; kind < state_.CommentKindFlags.size(); ++kind) {
            const bool selected = selection_.commentEntries[2 * kind + parity];
            state_.CommentKindFlags[kind] = selected ? 1 : 0;
            any = any || selected;
        }
        return any;
    }

    /// Adds a writer's lines to OutputCount and its files to the run's counts.
    void count(const WriterResult& written) {
        state_.OutputCount += written.lines;
        state_.FilesWritten += written.files;
        state_.FilesFailed += written.failedFiles;
    }

    CoreContext& ctx_;
    ExportState& state_;
    const ExportSelection& selection_;
    ExportProgress& progress_;
    HostWriter& host_;
    std::size_t downloads_ = 0;
    std::string lastMonth_;  ///< yyyymm of the last month file read
    std::optional<DataFilePrefetch> ahead_;
};

/// The host folder opened and locked for this run; nothing when it cannot be (the reason has
/// been shown and logged).
std::optional<HostWriter> openHostFolder(CoreContext& ctx, const ExportSelection& selection,
                                         bool& busy) {
    try {
        HostWriter host(selection.hostFolder);
        if (!host.lock()) {
            busy = true;
            ctx.log.WarnLog(std::string(kRunTag) + ": " + std::string(kHostFolderBusy) + " (" +
                            pathText(selection.hostFolder) + ")");
            ctx.ui.info(kHostFolderBusy);
            return std::nullopt;
        }
        return host;
    } catch (const std::exception& e) {
        reportFailure(ctx, kRunTag, describeError(e));
        return std::nullopt;
    }
}

}  // namespace

ExportOutcome TFJV_CsvOut(CoreContext& ctx, ExportState& state, const ExportSelection& selection,
                          ExportProgress* progress) {
    ExportProgress silent;
    ExportProgress& report = progress ? *progress : silent;
    ctx.log.TraceLog(kRunTag);
    state.ThisWeekMode = selection.ThisWeekMode;
    state.StartYear = selection.StartYear;
    state.FilesWritten = 0;
    state.FilesFailed = 0;
    state.Problems = 0;

    bool busy = false;
    std::optional<HostWriter> host = openHostFolder(ctx, selection, busy);
    if (busy) {
        report.runEnded(ExportOutcome::HostFolderBusy);
        return ExportOutcome::HostFolderBusy;
    }
    LogOut(ctx.ui, ctx.log, "");
    LogOut(ctx.ui, ctx.log, "出力処理を開始しました。");
    if (!host) {
        LogOut(ctx.ui, ctx.log, kAbortedLine);
        report.runEnded(ExportOutcome::Aborted);
        return ExportOutcome::Aborted;
    }
    ExportRun run(ctx, state, selection, report, *host);
    report.runStarted(run.plannedFiles());

    // A download waits for the network: the user's stop must reach it there too.
    const HttpOptions plainHttp = ctx.http;
    ctx.http.breathe = [&report, breathe = plainHttp.breathe] {
        if (breathe) {
            breathe();
        }
        if (report.stopRequested()) {
            throw StopRequested();
        }
    };
    ExportOutcome outcome = ExportOutcome::Aborted;
    try {
        outcome = state.ThisWeekMode == 0 ? run.pastPass() : run.thisWeekPass();
        if (outcome == ExportOutcome::Aborted) {
            run.reportAbort();
        }
    } catch (const StopRequested&) {
        ctx.log.WarnLog(std::string(kRunTag) + ": 利用者の指示で出力処理を中止しました。");
        LogOut(ctx.ui, ctx.log, kAbortedLine);
        outcome = ExportOutcome::Stopped;
    } catch (const std::exception& e) {
        ctx.log.ErrorLog(errorText(kRunTag, describeError(e)));
        LogOut(ctx.ui, ctx.log, kAbortedLine);
        outcome = ExportOutcome::Aborted;
    }
    ctx.http = plainHttp;
    if (state.FilesWritten > 0) {
        host->flush(ctx.log, kRunTag);
    }
    if (outcome == ExportOutcome::Finished) {
        if (state.FilesFailed > 0) {
            LogOut(ctx.ui, ctx.log,
                   "書き込めなかったファイルがあります（" + std::to_string(state.FilesFailed) +
                       "件）。ログを確認して下さい。");
        }
        LogOut(ctx.ui, ctx.log, "出力処理を終了しました。");
    }
    report.runEnded(outcome);
    return outcome;
}

ExportOutcome confirmAndExport(CoreContext& ctx, ExportState& state,
                               const ExportSelection& selection, ExportProgress* progress) {
    try {
        if (selection.hostFolder.empty()) {
            ctx.ui.info(kHostFolderNotSet);
            return ExportOutcome::NotStarted;
        }
        if (selection.ThisWeekMode != 0) {
            if (ctx.ui.question("今週データを出力します。\r\n既にあるデータは上書きされます。"
                                "\r\n\r\n出力してよろしいですか？") == Answer::No) {
                return ExportOutcome::NotStarted;
            }
        } else {
            if (ctx.ui.question("過去データを出力します。\r\nこの処理はご利用のパソコンスペック"
                                "・通信環境等と選択したデータ数によって\r\n異なりますが、数十分"
                                "～数時間かかります。\r\n\r\n又、既にあるデータは上書きされます"
                                "。\r\n\r\n出力してよろしいですか？") == Answer::No) {
                return ExportOutcome::NotStarted;
            }
            if (ctx.ui.question("過去データ出力処理は途中で中止することは、できません。\r\n\r\n"
                                "本当に開始してよろしいですか？") == Answer::No) {
                return ExportOutcome::NotStarted;
            }
        }
        const ExportOutcome outcome = TFJV_CsvOut(ctx, state, selection, progress);
        if (outcome == ExportOutcome::Finished) {
            ctx.ui.info("出力完了しました。");
        }
        return outcome;
    } catch (const std::exception& e) {
        ctx.log.ErrorLog(errorText(kButtonTag, describeError(e)));
        return ExportOutcome::Aborted;
    }
}

}  // namespace kestrova
