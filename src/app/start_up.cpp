#include "app/start_up.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include "app/splash_window.h"
#include "app/updater.h"
#include "base/errors.h"
#include "services/app_log.h"
#include "services/app_settings.h"
#include "services/core_context.h"
#include "services/program_texts.h"
#include "services/server_master.h"
#include "services/update_check.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"
#include "ui/qt_user_interface.h"
#include "web/member_server.h"

namespace kestrova::app {

namespace {

// A lock naming this very process was left by an earlier one that had the same process number
// (Wine and containers hand the same small numbers out again): nobody holds it.
bool takeOverLockOfThisProcessNumber(QLockFile& lock) {
    qint64 pid = 0;
    QString host;
    QString program;
    if (lock.error() != QLockFile::LockFailedError || !lock.getLockInfo(&pid, &host, &program) ||
        pid != QCoreApplication::applicationPid()) {
        return false;
    }
    return lock.removeStaleLockFile() && lock.tryLock(0);
}

}  // namespace

StartUpEnvironment thisProcess() {
    StartUpEnvironment env;
    env.executableFolder = ui::filePath(QCoreApplication::applicationDirPath());
    const QString userFolder =
        QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    env.userDataFolder = ui::filePath(userFolder);
    env.lockFile = userFolder + QStringLiteral("/Kestrova.lock");
    return env;
}

Main::Main(StartUpEnvironment environment) : env_(std::move(environment)) {}

Main::~Main() = default;

StartUpEnd Main::run() {
    // A lock whose owner is gone is taken over at once: a crash never blocks the next start.
    QDir().mkpath(QFileInfo(env_.lockFile).absolutePath());
    lock_ = std::make_unique<QLockFile>(env_.lockFile);
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0) && !takeOverLockOfThisProcessNumber(*lock_)) {
        lock_.reset();
        return StartUpEnd::AlreadyRunning;
    }

    appFolder_ = chooseAppFolder(env_.executableFolder, env_.userDataFolder);
    AppLog = makeAppLog(appFolder_.folder);
    AppLog->InfoLog(kStartedLine);
    AppLog->TraceLog("Main");
    ui_ = std::make_unique<ui::QtUserInterface>();

    showSplash();

    AppLog->InfoLog("Main:mDir");
    if (!mDir(appFolder_.folder, *AppLog, *ui_)) {
        critical(ui::qtText(kFolderFailureMessage));
        closeSplash();
        return StartUpEnd::FolderFailure;
    }
    StartUpEnd end = StartUpEnd::Failed;
    try {
        end = afterFolders();
    } catch (const std::exception& error) {
        const std::string description = describeError(error);
        AppLog->ErrorLog(errorText("Main", description));
        critical(ui::qtText("<<" + description + ">>"));
    }
    closeSplash();
    return end;
}

void Main::showSplash() {
    splash_ = std::make_unique<frmSplash>(*AppLog);
    splash_->show();
    // The start-up's questions and warnings stand in front of it.
    ui_->setWindow(splash_.get());
    QCoreApplication::processEvents();
    // The splash stays for its time; it paints meanwhile but takes no clicks. It stays up
    // through the start-up requests, until the main window shows.
    QEventLoop wait;
    QTimer::singleShot(env_.splashTime, &wait, &QEventLoop::quit);
    wait.exec(QEventLoop::ExcludeUserInputEvents);
}

void Main::closeSplash() {
    if (splash_) {
        ui_->setWindow(nullptr);
        splash_->kill();
        splash_.reset();
    }
}

void Main::critical(const QString& text) {
    ui::Dialogs::show(splash_.get(), ui::BoxKind::Critical, text);
}

StartUpEnd Main::afterFolders() {
    AppLog->InfoLog(AppVersion());
    AppLog->InfoLog(BuildStamp);
    AppLog->InfoLog(appFolderLogLine(appFolder_, env_.executableFolder));

    const ServerSettings settings = loadServerSettings(settingsFile(appFolder_.folder));
    HttpSchemeSetting = settings.schemeSetting;
    if (!settings.problems.empty()) {
        // A host the user set must not be replaced by the real server behind their back, nor
        // the hosts of a settings file that cannot be read.
        AppLog->ErrorLog(errorText("Main", settings.problems.front()));
        critical(ui::qtText(settings.problems.front()));
        return StartUpEnd::SettingsRefused;
    }
    if (const auto notice = unwritableFilesNotice(appFolder_.folder, settings.dataCache);
        !notice.empty()) {
        // Said once; the program works without its log and cache.
        AppLog->WarnLog(errorText("Main", notice));
        ui::Dialogs::show(splash_.get(), ui::BoxKind::Warning, ui::qtText(notice));
    }
    CoreContext ctx(*AppLog, *ui_, settings);
    if (!offerUpdate(ctx)) {
        return StartUpEnd::UpdaterStarted;
    }
    if (!masterProbeAccepted(GetMast(ctx, "2"))) {
        critical(ui::qtText(kErr001Message));
        return StartUpEnd::ProbeFailed;
    }

    window_ =
        std::make_unique<ui::frmTFLink>(ui::MainWindowSetup{*AppLog, appFolder_.folder, settings});
    window_->Form_Load();
    window_->show();
    closeSplash();
    return StartUpEnd::MainWindowShown;
}

bool Main::offerUpdate(CoreContext& ctx) {
    UpdateCheck check;
    VerChk(ctx, check);
    if (!check.UpdateAvailable) {
        return true;
    }
    if (ui::QuestionBox(ui::qtText(updateOfferMessage(check, AppVersion())), {}, false,
                        splash_.get()) != static_cast<int>(Answer::Yes)) {
        return true;
    }
    // The updater comes with the program, so it lies beside the executable; it is started
    // itself, with its one argument string, never through a shell.
    const QString updater = QDir(ui::qtPath(env_.executableFolder)).filePath(updaterFileName());
    if (QProcess::startDetached(updater, {ui::qtText(updaterArguments(check))})) {
        AppLog->InfoLog(kUpdaterStartedLine);
        return false;
    }
    AppLog->ErrorLog(errorText("Main", "アップデートプログラムを起動できませんでした。(" +
                                           ui::utf8Text(QDir::toNativeSeparators(updater)) + ")"));
    ui::Dialogs::show(splash_.get(), ui::BoxKind::Warning, ui::qtText(kUpdaterFailedMessage));
    return true;
}

}  // namespace kestrova::app
