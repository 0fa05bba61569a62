#include "export/export_run.h"

#include <exception>

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
#include "export/selection_check.h"
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

/// One run of TFJV_CsvOut.
class ExportRun {
  public:
    ExportRun(CoreContext& ctx, ExportState& state, const ExportSelection& selection,
              ExportProgress& progress)
        : ctx_(ctx), state_(state), selection_(selection), progress_(progress) {}

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
        for (const auto& monthTemplate : state_.MonthFileTemplates) {
            if (monthTemplate.empty()) {
                break;
            }
            if (monthTemplate.substr(2, 2) < state_.StartYear) {
                continue;
            }
            for (int month = 1; month <= kMonthsPerYear; ++month) {
                const auto download = fetch(monthFileName(monthTemplate, month));
                if (download.failed) {
                    return ExportOutcome::Aborted;
                }
                if (download.missing) {
                    // The first month the server does not have ends the export.
                    return ExportOutcome::Finished;
                }
                for (const auto& dayKey : dayKeyList(state_.TFDataTable, download.key)) {
                    dayGroup(dayKey);
                }
            }
        }
        return ExportOutcome::Finished;
    }

    ExportOutcome thisWeekPass() {
        for (const auto& page : selection_.dayPages) {
            const auto download = fetch(page);
            if (download.failed || download.missing) {
                return ExportOutcome::Aborted;
            }
            dayGroup(download.key);
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

    Download fetch(const std::string& fileName) {
        progress_.fileStarted(fileName, downloads_++);
        Download result;
        const TFDataResult answer = Get_TFData(ctx_, state_, fileName, false);
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
        warnInvalidRecords(fileName);
        result.key = answer.key;
        return result;
    }

    void warnInvalidRecords(const std::string& fileName) {
        const std::size_t invalid = countInvalidRecords(state_.TFDataTable);
        if (invalid == 0) {
            return;
        }
        const std::string line =
            "レースキーが正しくないデータ " + std::to_string(invalid) + "件を読み飛ばしました...";
        LogOut(ctx_.ui, ctx_.log, line);
        ctx_.log.WarnLog(std::string(kRunTag) + ": " + fileName + ": " + line);
    }

    /// The comment and index files of one day.
    void dayGroup(const std::string& dayKey) {
        // The month file's own key (yyyymm) heads every day list; it is not a day.
        if (!isValidDayKey(dayKey)) {
            return;
        }
        progress_.dayStarted(dayKey);
        const RowList rows = recordRowsOfDay(state_.TFDataTable, dayKey);
        const std::filesystem::path& host = selection_.hostFolder;

        commentGroup(kPrediction, dayKey, rows);
        commentGroup(kResult, dayKey, rows);
        state_.OutputCount = 0;
        for (const auto& code : selection_.indexCodes) {
            count(AlsOut(ctx_.log, state_.TFDataTable, host / "KSTR_DATA", "KSTR" + code, dayKey,
                         rows));
        }
        if (state_.OutputCount != 0) {
            LogOut(
                ctx_.ui, ctx_.log,
                "選択データ（指数） " + std::to_string(state_.OutputCount) + "件出力しました...");
        }
        progress_.dayFinished(dayKey, state_.FilesWritten);
    }

    /// The comment files of one kind (prediction or result) of a day, when any is selected.
    void commentGroup(const CommentGroup& group, const std::string& dayKey, const RowList& rows) {
        if (!setCommentFlags(group.parity)) {
            return;
        }
        state_.OutputCount = 0;
        count(CmtOut(ctx_.log, state_.TFDataTable, state_.CommentKindFlags,
                     selection_.hostFolder / "MY_DATA" / group.folder, dayKey, group.prefix, rows));
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
        if (!written.ok) {
            ++state_.FilesFailed;
        }
    }

    CoreContext& ctx_;
    ExportState& state_;
    const ExportSelection& selection_;
    ExportProgress& progress_;
    std::size_t downloads_ = 0;
};

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

    LogOut(ctx.ui, ctx.log, "");
    LogOut(ctx.ui, ctx.log, "出力処理を開始しました。");
    ExportRun run(ctx, state, selection, report);
    report.runStarted(run.plannedFiles());

    ExportOutcome outcome = ExportOutcome::Aborted;
    try {
        outcome = state.ThisWeekMode == 0 ? run.pastPass() : run.thisWeekPass();
        if (outcome == ExportOutcome::Aborted) {
            run.reportAbort();
        }
    } catch (const std::exception& e) {
        ctx.log.ErrorLog(errorText(kRunTag, e.what()));
        LogOut(ctx.ui, ctx.log, kAbortedLine);
        outcome = ExportOutcome::Aborted;
    }
    if (state.FilesWritten > 0) {
        flushHostFiles(ctx.log, kRunTag, selection.hostFolder);
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
        ctx.log.ErrorLog(errorText(kButtonTag, e.what()));
        return ExportOutcome::Aborted;
    }
}

}  // namespace kestrova
