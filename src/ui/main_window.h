#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>

#include <QDate>
#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include "base/ss_logging.h"
#include "export/export_run.h"
#include "export/selection_check.h"
#include "export/this_week.h"
#include "services/app_settings.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QThread;
class QToolBar;
class QToolButton;

namespace kestrova::ui {

class QtUserInterface;

/// The item data role that carries a list entry's hidden code; the list shows only the text.
inline constexpr int kHiddenCodeRole = Qt::UserRole + 1;

/// What the main window needs from start-up.
struct MainWindowSetup {
    const SsLogging& log;
    std::filesystem::path appFolder;
    ServerSettings settings;
    /// The local date; the past years offered and a run's months follow it.
    std::function<QDate()> today = &QDate::currentDate;
};

/// The main window: the three selection lists, the host folder, the toolbar, the activity
/// list and the export button. It only wires widgets to the core: the selection check, the
/// meeting-day discovery and the export run are core calls. The discovery and the export
/// run on worker threads, so the window paints and answers at any moment.
class frmTFLink : public QWidget {
    Q_OBJECT

  public:
    explicit frmTFLink(MainWindowSetup setup, QWidget* parent = nullptr);
    ~frmTFLink() override;

    /// Fills and restores the window (InitF) and starts learning this week's days; the
    /// window is complete when loaded() is emitted.
    void Form_Load();
    bool isLoaded() const { return loaded_; }
    bool isExporting() const { return exportThread_ != nullptr; }

    /// The selection check: shows its message and moves the focus when it refuses.
    bool lst_ThisW_Chk();
    void cmd_On_Click();
    void cmd_Off_Click();
    void cmd_TFJV_SGN_Click();
    void cmd_TFJVOut_Click();
    /// Asks a running export to end after the file being written.
    void cmd_Stop_Click();
    void ToBar1_ButtonClick(const QString& key);
    /// An activity line ("HH:MM:SS  message", also logged); an empty message clears the list.
    void LogOut(const QString& message);

    /// Paints `caption` onto the face of `button` (colour &H00BBGGRR; alignment 0 left,
    /// 1 right, 2 centre; any other alignment becomes 0, also in the caller's variable).
    static void PaintButtonCaption(QPushButton& button, const QString& caption,
                                   std::uint32_t colour, int& alignment, int coloured);

    /// What the last selection check decided (ThisWeekMode and StartYear also when refused).
    const SelectionCheckResult& lastCheck() const { return check_; }
    const ExportResult& lastResult() const { return lastResult_; }
    ExportOutcome lastOutcome() const { return lastResult_.outcome; }

    /// Offers a past year that has begun since the list was filled (the window may stay open
    /// over New Year); called at midnight.
    void refreshPastYears();

  signals:
    /// The lists are complete.
    void loaded();
    /// A check request failed while loading: the program ends without saving anything.
    void loadAbandoned();
    void exportFinished(kestrova::ExportOutcome outcome);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    class Progress;

    void buildControls();
    void buildStatusArea();
    void InitF();
    void ToBar1_SET();
    void restoreSettings();
    void restorePosition();
    void startThisWeekDiscovery();
    void thisWeekLoaded();
    void Form_Unload();
    void setExporting(bool running);
    void exportEnded();
    void progressStarted(std::size_t plannedFiles);
    void progressFile(std::size_t index);
    void progressFiles(std::int64_t filesWritten);
    void progressEnded(const ExportResult& result);
    QString progressText() const;
    void showProgressText();
    void scheduleYearCheck();
    bool askToStopForClose();
    std::filesystem::path iniFile() const;

    const SsLogging& log_;
    std::filesystem::path appFolder_;
    ServerSettings settings_;
    std::function<QDate()> today_;
    QtUserInterface* ui_;
    SelectionCheckResult check_;

    QToolBar* ToBar1 = nullptr;
    QPushButton* cmd_TFJVOut = nullptr;
    QLabel* lbl_TTL1 = nullptr;
    QListWidget* lst_ThisW = nullptr;
    QLabel* lbl_TTL2 = nullptr;
    QPushButton* cmd_On = nullptr;
    QPushButton* cmd_Off = nullptr;
    QListWidget* lst_DataSel = nullptr;
    QListWidget* lst_YKcom = nullptr;
    QGroupBox* Fra_TFJVOut = nullptr;
    QLabel* lblTFJVTLT = nullptr;
    QLineEdit* txt_TFJVPath = nullptr;
    QPushButton* cmd_TFJV_SGN = nullptr;
    QListWidget* lst_Log = nullptr;
    std::array<QLabel*, 9> Lbl_Help{};
    QProgressBar* prg_Export = nullptr;
    QLabel* lbl_Progress = nullptr;
    QPushButton* cmd_Stop = nullptr;

    bool loaded_ = false;
    bool abandoned_ = false;
    bool closeWhenIdle_ = false;
    bool unloaded_ = false;
    std::unique_ptr<QThread> loadThread_;
    ThisWeekDays week_;
    std::atomic<bool> stopLoad_ = false;

    std::unique_ptr<QThread> exportThread_;
    /// Shared with the worker; its result is read only once the worker has ended.
    std::unique_ptr<Progress> progress_;
    ExportResult lastResult_;
    bool waitCursor_ = false;
    std::size_t plannedFiles_ = 0;
    std::size_t filesDone_ = 0;
    std::int64_t filesWritten_ = 0;
    bool pastData_ = true;
    QElapsedTimer elapsed_;
    qint64 elapsedMs_ = 0;
    QTimer clock_;
    QTimer midnight_;
};

}  // namespace kestrova::ui
