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
    virtual void runEnded(ExportOutcome outcome) { (void)outcome; }
    /// Asked between files and while a download runs: true ends the run after the file
    /// being written (never inside one), as stopped by the user. May be asked from the
    /// thread that runs the export while another thread sets it.
    virtual bool stopRequested() { return false; }
};

/// TFJV_CsvOut, the run: downloads every month from StartYear on (until the first month the
/// server does not have) or every selected day, and writes each day's comment and index
/// files into the host folder. Reports through the activity list; a failed download shows
/// the failure notice and ends the run with "出力処理を中止しました。". Asks nothing: the
/// command line calls it directly. Never returns NotStarted.
ExportOutcome TFJV_CsvOut(CoreContext& ctx, ExportState& state, const ExportSelection& selection,
                          ExportProgress* progress = nullptr);

/// The export button once the caller has logged its entry and lst_ThisW_Chk has passed:
/// the empty-folder notice, the confirmation question(s), the run and the completion notice
/// "出力完了しました。" (not after an aborted run: its failure notice has been shown). The
/// window sets the wait cursor through `progress` (runStarted / runEnded). NotStarted when
/// the folder is empty or a question was answered No.
ExportOutcome confirmAndExport(CoreContext& ctx, ExportState& state,
                               const ExportSelection& selection,
                               ExportProgress* progress = nullptr);

}  // namespace kestrova
