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
#include "services/data_cache.h"

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
              ExportProgress& progress, HostWriter& host, ExportResult& result)
        : ctx_(ctx),
          state_(state),
          selection_(selection),
          progress_(progress),
          host_(host),
          result_(result),
          planned_(plannedFiles()) {}

    /// The data files the run may read, in order: a past-data run usually ends earlier, at
    /// the first month the server does not have yet.
    const std::vector<std::string>& planned() const { return planned_; }

    ExportOutcome run() { return selection_.ThisWeekMode == 0 ? pastPass() : thisWeekPass(); }

  private:
    ExportOutcome pastPass() {
        const std::vector<std::string>& names = planned_;
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
            beginPeriod(monthText(lastMonth_));
            for (const auto& dayKey : dayKeyList(state_.TFDataTable, records.rows, download.key)) {
                dayGroup(dayKey, records.rows);
            }
            endPeriod();
        }
        reportPassEnd({});
        return ExportOutcome::Finished;
    }

    ExportOutcome thisWeekPass() {
        const std::vector<std::string>& pages = planned_;
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
                ++result_.problems;
                continue;
            }
            beginPeriod(dayText(download.key));
            dayGroup(download.key, records.rows);
            endPeriod();
        }
        return ExportOutcome::Finished;
    }

  public:
    /// A run that ends before its work is done: names the month or day it left part-way
    /// (only when a file of it was written or tried).
    void noteIncomplete() {
        if (!current_.empty() && result_.filesWritten + result_.filesFailed > filesAtPeriodStart_) {
            result_.leftIncomplete = current_;
        }
    }

  private:
    struct Download {
        bool failed = false;
        bool missing = false;  ///< 404 of a month file
        std::string key;
    };

    /// The selected days, or the month files of the selected years.
    std::vector<std::string> plannedFiles() const {
        if (selection_.ThisWeekMode != 0) {
            return selection_.dayPages;
        }
        std::vector<std::string> names;
        for (const auto& monthTemplate : state_.MonthFileTemplates) {
            if (monthTemplate.empty()) {
                break;
            }
            if (monthTemplate.substr(2, 2) < selection_.StartYear) {
                continue;
            }
            for (int month = 1; month <= kMonthsPerYear; ++month) {
                names.push_back(monthFileName(monthTemplate, month));
            }
        }
        return names;
    }

    /// The files of a month (past data) or a day (this week) are being written.
    void beginPeriod(std::string text) {
        current_ = std::move(text);
        filesAtPeriodStart_ = result_.filesWritten + result_.filesFailed;
        failedAtPeriodStart_ = result_.filesFailed;
    }
    /// A month or day with a file that could not be written is not written whole.
    void endPeriod() {
        if (result_.filesFailed == failedAtPeriodStart_) {
            result_.lastComplete = std::move(current_);
            ++result_.periodsWritten;
        }
        current_.clear();
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
            result_.reason = fileName + " を取得できませんでした。" + answer.failure;
            result.failed = true;
            return result;
        }
        if (answer.status == kStatusNotFound && selection_.ThisWeekMode == 0) {
            result.missing = true;
            return result;
        }
        if (answer.status != kStatusOk) {
            // Nothing was read: going on would write the previous file's rows again.
            result_.reason = fileName + " の取得でサーバーが状態 " + std::to_string(answer.status) +
                             " を返しました。";
            ctx_.log.ErrorLog(errorText(kRunTag, result_.reason));
            result.failed = true;
            return result;
        }
        ++result_.filesRead;
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
            ++result_.problems;
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
        progress_.dayFinished(dayKey, result_.filesWritten);
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
        result_.filesWritten += written.files;
        result_.filesFailed += written.failedFiles;
    }

    CoreContext& ctx_;
    ExportState& state_;
    const ExportSelection& selection_;
    ExportProgress& progress_;
    HostWriter& host_;
    ExportResult& result_;
    std::size_t downloads_ = 0;
    std::string lastMonth_;  ///< yyyymm of the last month file read
    std::vector<std::string> planned_;
    std::string current_;  ///< the month or day being written
    std::int64_t filesAtPeriodStart_ = 0;
    std::int64_t failedAtPeriodStart_ = 0;
    std::optional<DataFilePrefetch> ahead_;
};

/// The host folder opened and locked for this run; nothing when it cannot be (the reason has
/// been shown and logged).
std::optional<HostWriter> openHostFolder(CoreContext& ctx, const ExportSelection& selection,
                                         ExportResult& result) {
    try {
        HostWriter host(selection.hostFolder);
        if (!host.lock()) {
            result.outcome = ExportOutcome::HostFolderBusy;
            result.reason = replaceAll(kHostFolderBusy, "\r\n", "");
            ctx.log.WarnLog(std::string(kRunTag) + ": " + result.reason + " (" +
                            pathText(selection.hostFolder) + ")");
            ctx.ui.info(kHostFolderBusy);
            LogOut(ctx.ui, ctx.log, result.reason);
            return std::nullopt;
        }
        return host;
    } catch (const std::exception& e) {
        result.reason = describeError(e);
        reportFailure(ctx, kRunTag, result.reason);
        return std::nullopt;
    }
}

/// The activity lines of a run that did not finish: why, how far it got, and the abort line.
void reportUnfinished(CoreContext& ctx, const ExportResult& result) {
    if (!result.reason.empty()) {
        LogOut(ctx.ui, ctx.log, replaceAll(result.reason, "\r\n", " "));
    }
    std::string reached;
    if (!result.lastComplete.empty()) {
        reached = result.lastComplete + "分まで出力しました。";
    }
    if (!result.leftIncomplete.empty()) {
        reached += result.leftIncomplete + "分は途中までです。";
    }
    if (!reached.empty()) {
        LogOut(ctx.ui, ctx.log, reached);
    }
    LogOut(ctx.ui, ctx.log, kAbortedLine);
}

/// The warning that ends a run which finished without writing everything.
std::string unfinishedWorkNotice(const ExportResult& result) {
    std::string text = "出力処理は終了しましたが、出力できなかったデータがあります。\r\n";
    if (result.filesFailed > 0) {
        text += "\r\n書き込めなかったファイル：" + std::to_string(result.filesFailed) + "件";
    }
    if (result.problems > 0) {
        text += "\r\n出力できなかった月・日：" + std::to_string(result.problems) + "件";
    }
    return text + "\r\n\r\n詳しくは画面の記録とログを確認して下さい。";
}

/// Puts a value back as it was when the scope ends, however it ends.
template <class T>
class RestoreOnExit {
  public:
    explicit RestoreOnExit(T& value) : value_(value), saved_(value) {}
    RestoreOnExit(const RestoreOnExit&) = delete;
    RestoreOnExit& operator=(const RestoreOnExit&) = delete;
    ~RestoreOnExit() { value_ = std::move(saved_); }

  private:
    T& value_;
    T saved_;
};

/// TFJV_CsvOut, the run.
ExportResult TFJV_CsvOut(CoreContext& ctx, ExportState& state, const ExportSelection& selection,
                         ExportProgress& report) {
    ctx.log.TraceLog(kRunTag);
    ExportResult result;
    std::optional<HostWriter> host = openHostFolder(ctx, selection, result);
    if (result.outcome == ExportOutcome::HostFolderBusy) {
        report.runEnded(result);
        return result;
    }
    LogOut(ctx.ui, ctx.log, "");
    LogOut(ctx.ui, ctx.log, "出力処理を開始しました。");
    if (!host) {
        result.outcome = ExportOutcome::Aborted;
        reportUnfinished(ctx, result);
        report.runEnded(result);
        return result;
    }
    ExportRun run(ctx, state, selection, report, *host, result);
    report.runStarted(run.planned().size());

    // A download waits for the network: the user's stop must reach it there too.
    const RestoreOnExit<HttpOptions> restoreHttp(ctx.http);
    ctx.http.breathe = [&report, breathe = ctx.http.breathe] {
        if (breathe) {
            breathe();
        }
        if (report.stopRequested()) {
            throw StopRequested();
        }
    };
    try {
        result.outcome = run.run();
        if (result.outcome == ExportOutcome::Aborted) {
            ctx.ui.info(kDownloadFailureNotice);
        }
    } catch (const StopRequested&) {
        ctx.log.WarnLog(std::string(kRunTag) + ": 利用者の指示で出力処理を中止しました。");
        result.outcome = ExportOutcome::Stopped;
        result.reason = "利用者の指示で中止しました。";
    } catch (const std::exception& e) {
        ctx.log.ErrorLog(errorText(kRunTag, describeError(e)));
        result.outcome = ExportOutcome::Aborted;
        result.reason = describeError(e);
    }
    if (result.filesWritten > 0) {
        host->flush(ctx.log, kRunTag);
    }
    if (result.filesFailed > 0) {
        LogOut(ctx.ui, ctx.log,
               "書き込めなかったファイルがあります（" + std::to_string(result.filesFailed) +
                   "件）。ログを確認して下さい。");
    }
    if (result.outcome == ExportOutcome::Finished) {
        LogOut(ctx.ui, ctx.log, "出力処理を終了しました。");
    } else {
        run.noteIncomplete();
        reportUnfinished(ctx, result);
    }
    report.runEnded(result);
    return result;
}

/// The export button's part once lst_ThisW_Chk has passed: the folder notice, the
/// confirmation question(s), the run and its last box.
ExportResult confirmAndExport(CoreContext& ctx, ExportState& state,
                              const ExportSelection& selection, ExportProgress& progress) {
    ExportResult refused;
    try {
        if (const auto problem = hostFolderProblem(selection.hostFolder)) {
            // Files written where the host never reads them would be reported as written.
            ctx.ui.info(*problem);
            return refused;
        }
        if (selection.ThisWeekMode != 0) {
            if (ctx.ui.question("今週データを出力します。\r\n既にあるデータは上書きされます。"
                                "\r\n\r\n出力してよろしいですか？") == Answer::No) {
                return refused;
            }
        } else {
            if (ctx.ui.question("過去データを出力します。\r\nこの処理はご利用のパソコンスペック"
                                "・通信環境等と選択したデータ数によって\r\n異なりますが、数十分"
                                "～数時間かかります。\r\n\r\n又、既にあるデータは上書きされます"
                                "。\r\n\r\n出力してよろしいですか？") == Answer::No) {
                return refused;
            }
            if (ctx.ui.question(kPastDataStopQuestion) == Answer::No) {
                return refused;
            }
        }
        const ExportResult result = TFJV_CsvOut(ctx, state, selection, progress);
        if (result.complete()) {
            ctx.ui.info("出力完了しました。");
        } else if (result.outcome == ExportOutcome::Finished) {
            ctx.ui.warning(unfinishedWorkNotice(result));
        }
        return result;
    } catch (const std::exception& e) {
        ctx.log.ErrorLog(errorText(kButtonTag, describeError(e)));
        refused.outcome = ExportOutcome::Aborted;
        refused.reason = describeError(e);
        return refused;
    }
}

}  // namespace

ExportResult runExportJob(CoreContext& ctx, const ExportJob& job, ExportProgress* progress) {
    ExportProgress silent;
    ExportProgress& report = progress ? *progress : silent;
    std::optional<DataCache> cache =
        job.appFolder.empty() ? std::nullopt
                              : openDataCache(job.appFolder, ctx.memberServer.host(), job.useCache);
    const RestoreOnExit<DataCache*> restoreCache(ctx.dataCache);
    ctx.dataCache = cache ? &*cache : nullptr;
    // The run's own fields; the month files reach to the year of the run's day.
    ExportState state;
    state.MonthFileTemplates = makeMonthFileTemplates(static_cast<int>(job.selection.today.year()));
    return job.confirm ? confirmAndExport(ctx, state, job.selection, report)
                       : TFJV_CsvOut(ctx, state, job.selection, report);
}

}  // namespace kestrova
