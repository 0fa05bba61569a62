#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

#include <QDate>
#include <QString>
#include <QTimer>
#include <QWidget>

#include "base/ss_logging.h"
#include "export/export_run.h"
#include "export/selection_check.h"
#include "export/this_week.h"
#include "services/app_settings.h"
#include "ui/export_controller.h"
#include "ui/main_window_layout.h"
#include "ui/progress_line.h"
#include "ui/week_discovery.h"

class QPushButton;

namespace kestrova::ui {

class QtUserInterface;
struct WindowSettings;

/// What the main window needs from start-up.
struct MainWindowSetup {
    const SsLogging& log;
    std::filesystem::path appFolder;
    ServerSettings settings;
    /// The local date; the past years offered and a run's months follow it.
    std::function<QDate()> today = &QDate::currentDate;
};

/// The main window: the three selection lists, the host folder, the toolbar, the activity
/// list and the export button. It only wires widgets to the core: the selection check is a
/// core call; the meeting-day discovery and the export run on worker threads (WeekDiscovery,
/// ExportController), so the window paints and answers at any moment.
class frmTFLink : public QWidget {
    Q_OBJECT

  public:
    explicit frmTFLink(MainWindowSetup setup, QWidget* parent = nullptr);
    ~frmTFLink() override;

    /// Fills and restores the window (InitF) and starts learning this week's days; the
    /// window is complete when loaded() is emitted.
    void Form_Load();
    bool isLoaded() const { return loaded_; }
    bool isExporting() const { return export_.isRunning(); }

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
    const ExportResult& lastResult() const { return export_.lastResult(); }
    ExportOutcome lastOutcome() const { return lastResult().outcome; }

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
    void InitF();
    void ToBar1_SET();
    void restoreSettings();
    void restorePosition(const WindowSettings& saved);
    void startThisWeekDiscovery();
    void thisWeekLoaded(const ThisWeekDays& week);
    void Form_Unload();
    void setExporting(bool running);
    void exportDone(const ExportResult& result);
    void scheduleYearCheck();
    bool askToStopForClose();
    std::filesystem::path iniFile() const;

    const SsLogging& log_;
    std::filesystem::path appFolder_;
    ServerSettings settings_;
    std::function<QDate()> today_;
    QtUserInterface* ui_;
    SelectionCheckResult check_;
    MainWindowControls controls_;

    bool loaded_ = false;
    bool abandoned_ = false;
    bool closeWhenIdle_ = false;
    bool unloaded_ = false;
    QTimer midnight_;
    // Destroyed first: the workers end while what they report to is still there.
    WeekDiscovery discovery_;
    ExportController export_;
    ProgressLine progress_;
};

}  // namespace kestrova::ui
