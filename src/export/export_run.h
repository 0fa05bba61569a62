#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "export/data_kinds.h"
#include "export/export_state.h"

namespace kestrova {

struct CoreContext;

/// What the user chose, as the window's lists and the command line's options give it.
struct ExportSelection {
    /// From the selection check: 0 past data from StartYear on, 1 this week's days.
    std::int16_t ThisWeekMode = 0;
    std::string StartYear;
    /// This week's day pages ("TFyymmdd.html") of the selected entries, in list order.
    std::vector<std::string> dayPages;
    /// Selected index codes ("010".."470"), in list order.
    std::vector<std::string> indexCodes;
    /// Selected state of the ten comment entries: even = prediction, odd = result, pairs in
    /// the order of kCommentKindCodes.
    std::array<bool, kCommentEntryCount> commentEntries{};
    /// The host program's folder (txt_TFJVPath).
    std::filesystem::path hostFolder;
    /// The day of the run: a past-data pass that ends at a month before last month has met a
    /// gap in the server's data.
    std::chrono::year_month_day today{};
};

enum class ExportOutcome {
    NotStarted,  ///< refused or not confirmed; nothing was done
    Finished,    ///< "出力処理を終了しました。"
    Aborted,     ///< a download failed or the run broke off; "出力処理を中止しました。"
    Stopped,     ///< the user stopped it; "出力処理を中止しました。"
    HostFolderBusy,  ///< another run writes into the host folder; nothing was done
};

/// What a run did: the front end's last words on it come from here.
struct ExportResult {
    ExportOutcome outcome = ExportOutcome::NotStarted;
    /// Data files read (months or days), and of them the months or days whose files were
    /// all written; host files written or not written.
    std::size_t filesRead = 0;
    std::size_t periodsWritten = 0;
    std::int64_t filesWritten = 0;
    std::int64_t filesFailed = 0;
    /// Other things that went wrong without ending the run: a month missing in the middle of
    /// the server's data, a day without any record that could be written.
    std::int64_t problems = 0;
    /// The last month ("yyyy年mm月") or day ("yyyy年mm月dd日") whose files were all written,
    /// and the one a stopped or aborted run left part-way ("" when it ended between two).
    std::string lastComplete;
    std::string leftIncomplete;
    /// Why a run did not finish, in one line ("" when it finished).
    std::string reason;

    /// Finished, and everything selected was written.
    bool complete() const {
        return outcome == ExportOutcome::Finished && filesFailed == 0 && problems == 0;
    }
};

/// The notice when another run (the window, the command line, a scheduled job) is writing
/// into the same host folder.
inline constexpr std::string_view kHostFolderBusy =
    "別の出力処理が同じ [TARGET frontier JV] のフォルダに出力中です。\r\n"
    "その処理が終わってから、もう一度出力して下さい。";

/// Progress of a run, for a progress bar. Every method has an empty default.
class ExportProgress {
  public:
    virtual ~ExportProgress() = default;
    /// The run began. `plannedFiles` is the most data files it may download; a past-data
    /// run usually ends earlier, at the first month the server does not have yet.
    virtual void runStarted(std::size_t plannedFiles) { (void)plannedFiles; }
    /// Data file number `index` (from 0) is about to be downloaded.
    virtual void fileStarted(std::string_view fileName, std::size_t index) {
        (void)fileName;
        (void)index;
    }
    /// The comment and index files of one day are about to be written.
    virtual void dayStarted(std::string_view dayKey) { (void)dayKey; }
    /// A day is done; `filesWritten` counts the files completed since the run began.
    virtual void dayFinished(std::string_view dayKey, std::int64_t filesWritten) {
        (void)dayKey;
        (void)filesWritten;
    }
    /// The run is over; `result` has its final figures.
    virtual void runEnded(const ExportResult& result) { (void)result; }
    /// Asked between files and while a download runs: true ends the run after the file
    /// being written (never inside one), as stopped by the user. May be asked from the
    /// thread that runs the export while another thread sets it.
    virtual bool stopRequested() { return false; }
};

/// One export, as every front end starts it.
struct ExportJob {
    ExportSelection selection;
    /// The application folder whose download cache ("appdata/cache") the run reads and
    /// fills; empty, or `useCache` false: no cache.
    std::filesystem::path appFolder;
    bool useCache = true;
    /// The window's way: the folder notice and the confirmation questions first, and a last
    /// box ("出力完了しました。", or a warning that says what was not written; nothing after a
    /// stopped or aborted run, whose notice has been shown). The command line asks nothing.
    bool confirm = false;
};

/// The export (TFJV_CsvOut, after cmd_TFJVOut_Click's questions when `job.confirm`): opens
/// the download cache, plans the data files (the month files from StartYear to the year of
/// `selection.today`, or the selected days), downloads each and writes each day's comment
/// and index files into the host folder. Reports through the activity list; a run that does
/// not finish ends it with the reason, how far it got and "出力処理を中止しました。" (a failed
/// download shows the failure notice first). The window sets the wait cursor through
/// `progress` (runStarted / runEnded). NotStarted when the folder is refused or a question
/// was answered No.
ExportResult runExportJob(CoreContext& ctx, const ExportJob& job,
                          ExportProgress* progress = nullptr);

/// The second question before a past-data run: the run can be stopped, and what then stays.
inline constexpr std::string_view kPastDataStopQuestion =
    "過去データ出力処理は、出力中に「中止」ボタンで中止できます。\r\n"
    "中止すると、出力中のファイルを書き終えたところで止まり、\r\n"
    "それまでに出力した月のデータはそのまま残ります。\r\n\r\n"
    "本当に開始してよろしいですか？";

}  // namespace kestrova
