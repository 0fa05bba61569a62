// The start-up sequence against the sample server: the log lines in order, the single
// instance, the update offer and the updater, the server probe and the application folder.

#include <filesystem>
#include <memory>

#include <QFile>
#include <QLockFile>
#include <QWidget>
#include <QtTest>

#include "app/start_up.h"
#include "app/updater.h"
#include "base/cp932.h"
#include "data_paths.h"
#include "sample_server.h"
#include "services/app_settings.h"
#include "services/program_texts.h"
#include "support/child_process.h"
#include "support/temp_dir.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"

using kestrova::app::Main;
using kestrova::app::StartUpEnd;
using kestrova::app::StartUpEnvironment;
using kestrova::test::TempDir;
using kestrova::ui::BoxKind;
using kestrova::ui::Dialogs;

namespace {

std::string versionPage(const std::string& stamp, const std::string& arguments) {
    return "<html><body><table><tr><td>製品</td><td>バージョン</td><td>リリース</td>"
           "<td>1</td><td>2</td><td>3</td></tr><tr><td>Kestrova</td><td>1.0.3</td><td>" +
           stamp + "</td>" + arguments + "</tr></table></body></html>";
}

std::string masterPage(const std::string& value) {
    return "<html><body><table><tr><td>1</td><td>Kestrova</td></tr><tr><td>2</td><td>" + value +
           "</td></tr></table></body></html>";
}

QStringList shownTexts() {
    QStringList texts;
    for (const auto& box : Dialogs::shown) {
        texts += box.text;
    }
    return texts;
}

bool anyWindowVisible() {
    for (const QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible()) {
            return true;
        }
    }
    return false;
}

/// A program folder with settings that reach the sample server, a per-user folder and a lock.
struct StartUpFixture {
    StartUpFixture() {
        kestrova::sample::ServerOptions options;
        options.newestYear = 2026;
        options.newestMonth = 2;
        options.weekDays = {"20261205"};
        server = std::make_unique<kestrova::sample::SampleServer>(options);
        server->start();
        env.executableFolder = program.path();
        env.userDataFolder = user / "Kestrova";
        env.lockFile = kestrova::ui::qtPath(locks / "Kestrova.lock");
        env.splashTime = std::chrono::milliseconds(20);
        writeSettings(program.path());
        Dialogs::answerAutomatically();
        Dialogs::shown.clear();
        Dialogs::answers.clear();
    }

    void writeSettings(const std::filesystem::path& folder) const {
        const std::string host = server->hostPort();
        kestrova::test::writeFile(kestrova::settingsFile(folder),
                                  "[SYS_ENV]\r\nREVNIW= 10 \r\nMemberHost=" + host +
                                      "\r\nRaceAuthorityHost=http://" + host + "\r\n");
    }

    std::vector<std::string> infoLines(const std::filesystem::path& appFolder) const {
        std::vector<std::string> lines;
        const std::string text =
            kestrova::fromCp932(kestrova::test::readFile(appFolder / "logs" / "Kestrova.log"));
        std::size_t start = 0;
        for (auto end = text.find("\r\n"); end != std::string::npos;
             end = text.find("\r\n", start)) {
            const std::string line = text.substr(start, end - start);
            start = end + 2;
            if (const auto at = line.find(" [INFO] "); at != std::string::npos) {
                lines.push_back(line.substr(at + 8));
            }
        }
        return lines;
    }

    TempDir program;
    TempDir user;
    TempDir locks;
    std::unique_ptr<kestrova::sample::SampleServer> server;
    StartUpEnvironment env;
};

}  // namespace

class StartUpTest : public QObject {
    Q_OBJECT

  private slots:
    void startUpLogsItsStepsInOrderAndShowsTheWindow();
    void splashStaysUpUntilTheMainWindowShows();
    void secondStartEndsSilently();
    void lockLeftByACrashDoesNotBlockTheNextStart();
    void lockLeftUnderThisProcessNumberDoesNotBlockTheNextStart();
    void serverProbeOtherThanZeroOrOneEndsWithErr001_data();
    void serverProbeOtherThanZeroOrOneEndsWithErr001();
    void updateOfferShowsTheReleaseDateAndNoGoesOn();
    void acceptedUpdateStartsTheUpdaterDirectlyWithItsArguments();
    void missingUpdaterIsReportedAndTheWindowStillOpens();
    void unwritableProgramFolderGivesWayToTheUserFolder();
    void foldersThatCannotBeMadeEndTheStart();
    void unreadableSettingsFileEndsTheStartBeforeAnyRequest();
    void ownFilesThatCannotBeWrittenAreSaidOnceAndTheWindowOpens();
    void versionIsPrintedWithoutADisplay();
};

void StartUpTest::startUpLogsItsStepsInOrderAndShowsTheWindow() {
    StartUpFixture f;
    Main program(f.env);
    QCOMPARE(program.run(), StartUpEnd::MainWindowShown);
    QVERIFY(program.window()->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(program.window()->isLoaded(), 30000);
    QVERIFY(Dialogs::shown.empty());
    QCOMPARE(program.schemeSetting(), "10");

    const auto lines = f.infoLines(f.program.path());
    const std::vector<std::string> expected = {
        "アプリケーションが起動しました。",
        "frmSplash:Form_Load",
        "Main:mDir",
        "1.0.2",
        "2015100201",
        "アプリケーションフォルダ：" + f.program.path().string(),
        "frmTFLink:Form_Load",
        "frmSplash:kill"};
    QVERIFY(lines.size() >= expected.size());
    QCOMPARE(std::vector<std::string>(lines.begin(), lines.begin() + 8), expected);
    for (const char* folder : {"logs", "temp", "backup", "icons", "appdata"}) {
        QVERIFY(std::filesystem::is_directory(f.program / folder));
    }
}

void StartUpTest::splashStaysUpUntilTheMainWindowShows() {
    StartUpFixture f;
    // The version check takes a while, as on a slow line: the screen must not go empty.
    f.server->addFault({.path = "/kestrova/verchk/mst/KestrovaVerMN.html",
                        .kind = kestrova::sample::FaultKind::Slow,
                        .delay = std::chrono::milliseconds(1500)});
    bool splashDuringRequest = false;
    QTimer::singleShot(700, [&] {
        for (const QWidget* widget : QApplication::topLevelWidgets()) {
            splashDuringRequest =
                splashDuringRequest ||
                (widget->objectName() == QStringLiteral("frmSplash") && widget->isVisible());
        }
    });
    Main program(f.env);
    QCOMPARE(program.run(), StartUpEnd::MainWindowShown);
    QVERIFY(splashDuringRequest);
    for (const QWidget* widget : QApplication::topLevelWidgets()) {
        QVERIFY(widget->objectName() != QStringLiteral("frmSplash") || !widget->isVisible());
    }
    QVERIFY(program.window()->isVisible());
}

void StartUpTest::secondStartEndsSilently() {
    StartUpFixture f;
    Main first(f.env);
    QCOMPARE(first.run(), StartUpEnd::MainWindowShown);
    QTRY_VERIFY_WITH_TIMEOUT(first.window()->isLoaded(), 30000);
    const auto logged = f.infoLines(f.program.path()).size();

    Main second(f.env);
    QCOMPARE(second.run(), StartUpEnd::AlreadyRunning);
    QCOMPARE(second.window(), nullptr);
    QCOMPARE(f.infoLines(f.program.path()).size(), logged);
    QVERIFY(Dialogs::shown.empty());

    // Held by another process of this user the same holds.
    first.window()->close();
    StartUpFixture g;
    kestrova::test::ChildProcess other(
        {KESTROVA_LOCK_HOLDER, kestrova::ui::utf8Text(g.env.lockFile), "hold"},
        {.out = kestrova::test::ChildOutput::Pipe});
    std::string said = other.readLines(1, std::chrono::seconds(10));
    std::erase(said, '\r');  // Windows' text-mode line end
    QCOMPARE(said, std::string("locked\n"));
    Main third(g.env);
    QCOMPARE(third.run(), StartUpEnd::AlreadyRunning);
    QVERIFY(!std::filesystem::exists(g.program / "logs"));
    QVERIFY(!anyWindowVisible());
}

void StartUpTest::lockLeftByACrashDoesNotBlockTheNextStart() {
    StartUpFixture f;
    kestrova::test::ChildProcess crashed(
        {KESTROVA_LOCK_HOLDER, kestrova::ui::utf8Text(f.env.lockFile)});
    QCOMPARE(crashed.wait().exitCode, 3);
    QVERIFY(QFileInfo::exists(f.env.lockFile));

    Main program(f.env);
    QCOMPARE(program.run(), StartUpEnd::MainWindowShown);
}

void StartUpTest::lockLeftUnderThisProcessNumberDoesNotBlockTheNextStart() {
    // The left lock names a running program of this name and number: this very process, which
    // holds no lock. Under Wine the next start gets the number of the killed one.
    StartUpFixture f;
    QByteArray left;
    {
        QLockFile earlier(f.env.lockFile);
        QVERIFY(earlier.tryLock(0));
        QFile file(f.env.lockFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        left = file.readAll();
    }
    QFile file(f.env.lockFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(left), left.size());
    file.close();

    Main program(f.env);
    QCOMPARE(program.run(), StartUpEnd::MainWindowShown);
}

void StartUpTest::serverProbeOtherThanZeroOrOneEndsWithErr001_data() {
    QTest::addColumn<QString>("value");
    QTest::newRow("2") << QStringLiteral("2");
    QTest::newRow("abc") << QStringLiteral("abc");
    QTest::newRow("empty") << QString();
}

void StartUpTest::serverProbeOtherThanZeroOrOneEndsWithErr001() {
    QFETCH(QString, value);
    StartUpFixture f;
    f.server->setPage(std::string(kestrova::sample::kMasterPath),
                      masterPage(kestrova::ui::utf8Text(value)), "text/html; charset=UTF-8");
    Main program(f.env);
    QCOMPARE(program.run(), StartUpEnd::ProbeFailed);
    QCOMPARE(shownTexts(), QStringList{kestrova::ui::qtText(kestrova::kErr001Message)});
    QCOMPARE(Dialogs::shown.back().kind, BoxKind::Critical);
    QCOMPARE(Dialogs::shown.back().title, QStringLiteral("Kestrova"));
    QCOMPARE(program.window(), nullptr);
    QVERIFY(!anyWindowVisible());
}

void StartUpTest::updateOfferShowsTheReleaseDateAndNoGoesOn() {
    StartUpFixture f;
    f.server->setPage(std::string(kestrova::sample::kVersionPath),
                      versionPage("2015100202", "<td>a</td><td>b</td><td>c</td>"),
                      "text/html; charset=UTF-8");
    Dialogs::setNextAnswer(kestrova::Answer::No);
    Main program(f.env);
    QCOMPARE(program.run(), StartUpEnd::MainWindowShown);
    QCOMPARE(shownTexts(),
             QStringList{QStringLiteral(
                 "Kestrovaの最新バージョンにアップデートが可能です。\r\n"
                 "現在のバージョン：1.0.2\r\n最新のバージョン：1.0.3\r\n"
                 "リリース日：2015年10月02日\r\n\r\nいますぐアップデートを行いますか？\r\n")});
    QCOMPARE(Dialogs::shown.front().kind, BoxKind::Question);
}

void StartUpTest::acceptedUpdateStartsTheUpdaterDirectlyWithItsArguments() {
    StartUpFixture f;
    // Characters a shell would act on: they must reach the updater as they are.
    f.server->setPage(
        std::string(kestrova::sample::kVersionPath),
        versionPage("2016010101", "<td>/up date/</td><td>$(touch x);y</td><td>K &amp; 2.zip</td>"),
        "text/html; charset=UTF-8");
    const auto updater =
        f.program.path() / kestrova::ui::filePath(kestrova::app::updaterFileName());
    std::filesystem::copy_file(KESTROVA_ARGS_RECORDER, updater);
    auto recorded = updater;
    recorded += ".args";
    Dialogs::setNextAnswer(kestrova::Answer::Yes);

    Main program(f.env);
    QCOMPARE(program.run(), StartUpEnd::UpdaterStarted);
    QCOMPARE(program.window(), nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(recorded), 10000);
    QTRY_COMPARE(kestrova::test::readFile(recorded),
                 std::string("1\n/up date/,$(touch x);y,K & 2.zip\n"));
    QVERIFY(!std::filesystem::exists(f.program / "x"));
    const auto lines = f.infoLines(f.program.path());
    QVERIFY(std::find(lines.begin(), lines.end(), "自動アップデートを開始しました。") !=
            lines.end());
}

void StartUpTest::missingUpdaterIsReportedAndTheWindowStillOpens() {
    StartUpFixture f;
    f.server->setPage(std::string(kestrova::sample::kVersionPath),
                      versionPage("2016010101", "<td>a</td><td>b</td><td>c</td>"),
                      "text/html; charset=UTF-8");
    Dialogs::setNextAnswer(kestrova::Answer::Yes);
    Main program(f.env);
    QCOMPARE(program.run(), StartUpEnd::MainWindowShown);
    QCOMPARE(Dialogs::shown.size(), std::size_t{2});
    QCOMPARE(Dialogs::shown.back().kind, BoxKind::Warning);
    QCOMPARE(Dialogs::shown.back().text, kestrova::ui::qtText(kestrova::kUpdaterFailedMessage));
    const auto lines = f.infoLines(f.program.path());
    QVERIFY(std::find(lines.begin(), lines.end(), "自動アップデートを開始しました。") ==
            lines.end());
    const std::string log =
        kestrova::fromCp932(kestrova::test::readFile(f.program / "logs" / "Kestrova.log"));
    QVERIFY(log.find("[ERROR] Main<<アップデートプログラムを起動できませんでした。") !=
            std::string::npos);
    QVERIFY(program.window()->isVisible());
}

void StartUpTest::unwritableProgramFolderGivesWayToTheUserFolder() {
    StartUpFixture f;
    // Nobody, not even the administrator, creates files there.
    f.env.executableFolder = "/proc";
    std::filesystem::create_directories(f.env.userDataFolder);
    f.writeSettings(f.env.userDataFolder);
    Main program(f.env);
    QCOMPARE(program.run(), StartUpEnd::MainWindowShown);
    QCOMPARE(program.appFolder().folder, f.env.userDataFolder);
    QVERIFY(program.appFolder().perUser);
    const auto lines = f.infoLines(f.env.userDataFolder);
    QCOMPARE(lines.at(5),
             "プログラムのフォルダ（/proc）に書き込めないため、ユーザーのデータフォルダを使用し"
             "ます：" +
                 f.env.userDataFolder.string());
    QVERIFY(std::filesystem::is_directory(f.env.userDataFolder / "appdata"));
}

void StartUpTest::foldersThatCannotBeMadeEndTheStart() {
    StartUpFixture f;
    f.env.executableFolder = "/proc";
    f.env.userDataFolder = "/proc/kestrova";
    Main program(f.env);
    QCOMPARE(program.run(), StartUpEnd::FolderFailure);
    QCOMPARE(Dialogs::shown.size(), std::size_t{2});
    QCOMPARE(Dialogs::shown.front().kind, BoxKind::Warning);
    QVERIFY(Dialogs::shown.front().text.startsWith(QStringLiteral("mDir<<")));
    QCOMPARE(Dialogs::shown.back().kind, BoxKind::Critical);
    QCOMPARE(Dialogs::shown.back().text, kestrova::ui::qtText(kestrova::kFolderFailureMessage));
    QVERIFY(!anyWindowVisible());
}

void StartUpTest::unreadableSettingsFileEndsTheStartBeforeAnyRequest() {
    // Its hosts are unknown: the built-in ones would reach the real servers instead.
    StartUpFixture f;
    const auto ini = kestrova::settingsFile(f.program.path());
    std::filesystem::remove(ini);
    std::filesystem::create_directory(ini);
    Main program(f.env);
    QCOMPARE(program.run(), StartUpEnd::SettingsRefused);
    const std::string message =
        "設定ファイルを読み込めませんでした。(" + ini.string() + ": 同じ名前のフォルダがあります)";
    QCOMPARE(shownTexts(), QStringList{kestrova::ui::qtText(message)});
    QCOMPARE(Dialogs::shown.back().kind, BoxKind::Critical);
    const std::string log =
        kestrova::fromCp932(kestrova::test::readFile(f.program / "logs" / "Kestrova.log"));
    QVERIFY(log.find("[ERROR] Main<<" + message + ">>") != std::string::npos);
    QCOMPARE(f.server->bytesSent(), std::uint64_t{0});
    QVERIFY(!anyWindowVisible());
}

void StartUpTest::ownFilesThatCannotBeWrittenAreSaidOnceAndTheWindowOpens() {
    // A folder where the log file belongs and a file where the cache's folder does: nobody,
    // root included, writes there, as in a folder the user may not write.
    StartUpFixture f;
    std::filesystem::create_directories(f.program / "logs" / "Kestrova.log");
    std::filesystem::create_directories(f.program / "appdata");
    kestrova::test::writeFile(f.program / "appdata" / "cache", "");
    Main program(f.env);
    QCOMPARE(program.run(), StartUpEnd::MainWindowShown);
    QCOMPARE(Dialogs::shown.size(), std::size_t{1});
    QCOMPARE(Dialogs::shown.front().kind, BoxKind::Warning);
    const QString text = Dialogs::shown.front().text;
    QVERIFY2(text.startsWith(QStringLiteral("ログを書き込めません。")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("ダウンロードのキャッシュを保存できません。")),
             qPrintable(text));
    QVERIFY(program.window()->isVisible());
}

void StartUpTest::versionIsPrintedWithoutADisplay() {
    // The child inherits this process's environment, without a display for the while.
    std::vector<std::pair<const char*, QByteArray>> saved;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (qEnvironmentVariableIsSet(name)) {
            saved.emplace_back(name, qgetenv(name));
            qunsetenv(name);
        }
    }
    kestrova::test::ChildProcess window({KESTROVA_WINDOW_EXE, "--version"},
                                        {.out = kestrova::test::ChildOutput::Pipe});
    for (const auto& [name, value] : saved) {
        qputenv(name, value);
    }
    window.readToEnd(std::chrono::seconds(10));
    QCOMPARE(window.wait().exitCode, 0);
    std::string printed = window.out();
    std::erase(printed, '\r');  // Windows' text-mode line end
    QCOMPARE(printed, std::string("Kestrova Ver. " KESTROVA_VERSION " C\n"));
}

QTEST_MAIN(StartUpTest)
#include "test_start_up.moc"
