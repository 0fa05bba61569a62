#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>

#include <QString>

#include "base/ss_logging.h"
#include "services/app_folder.h"

class QLockFile;

namespace kestrova {
struct CoreContext;
}

namespace kestrova::ui {
class QtUserInterface;
class frmTFLink;
}  // namespace kestrova::ui

namespace kestrova::app {

class frmSplash;

/// Where a start happens.
struct StartUpEnvironment {
    std::filesystem::path executableFolder;
    /// Stands in for the executable's folder where that cannot be written.
    std::filesystem::path userDataFolder;
    /// The single-instance lock, in a per-user folder.
    QString lockFile;
    /// The splash's time at least; it stays up until the main window shows.
    std::chrono::milliseconds splashTime{2000};
};

/// The environment of this process: its folder, the per-user folders of the platform.
StartUpEnvironment thisProcess();

/// How a start ended.
enum class StartUpEnd {
    AlreadyRunning,   ///< another instance runs; nothing shown, nothing logged
    FolderFailure,    ///< the working folders could not be made
    SettingsRefused,  ///< the settings file cannot be read, or a server host in it is not one
    UpdaterStarted,   ///< the user took the update; the updater carries on
    ProbeFailed,      ///< the server master did not answer 0 or 1 ([Err001])
    Failed,           ///< an unexpected error, shown and logged
    MainWindowShown,  ///< the program runs until the main window closes
};

/// Main: the start-up sequence, from the single-instance check to the main window. Keeps the
/// lock, the log and the main window for the life of the program.
class Main {
  public:
    explicit Main(StartUpEnvironment environment);
    ~Main();
    Main(const Main&) = delete;
    Main& operator=(const Main&) = delete;

    StartUpEnd run();

    /// The main window once shown.
    ui::frmTFLink* window() const { return window_.get(); }
    const AppFolder& appFolder() const { return appFolder_; }
    /// HttpSchemeSetting as read at start.
    const std::string& schemeSetting() const { return HttpSchemeSetting; }

  private:
    StartUpEnd afterFolders();
    /// The update offer; false when the updater took over.
    bool offerUpdate(CoreContext& ctx);
    void showSplash();
    void closeSplash();
    /// A start-up message box, in front of the splash.
    void critical(const QString& text);

    StartUpEnvironment env_;
    std::unique_ptr<QLockFile> lock_;
    AppFolder appFolder_;
    std::optional<SsLogging> AppLog;
    std::unique_ptr<ui::QtUserInterface> ui_;
    std::unique_ptr<frmSplash> splash_;
    std::unique_ptr<ui::frmTFLink> window_;
    std::string HttpSchemeSetting;
};

}  // namespace kestrova::app
