// The window's export runner without the window: what a run reports and in which order, one
// run at a time, the stop, and a runner that goes away in the middle of a run.

#include <chrono>
#include <filesystem>
#include <memory>

#include <QSignalSpy>
#include <QtTest>

#include "base/cp932.h"
#include "services/app_log.h"
#include "support/fixed_week_server.h"
#include "support/temp_dir.h"
#include "ui/dialogs.h"
#include "ui/export_controller.h"
#include "ui/qt_user_interface.h"

using kestrova::ExportOutcome;
using kestrova::ExportResult;
using kestrova::ExportSelection;
using kestrova::ui::Dialogs;
using kestrova::ui::ExportController;

namespace {

namespace fs = std::filesystem;

/// A sample server, an application folder and a prepared host folder.
struct Setup {
    explicit Setup(
        kestrova::sample::ServerOptions options = kestrova::test::FixedWeekServer::options())
        : server(options), log(kestrova::makeAppLog(app.path())) {
        server.start();
        Dialogs::answerAutomatically();
        Dialogs::shown.clear();
        Dialogs::answers.clear();
        fs::create_directories(host / "MY_DATA" / "YOS_COM");
        fs::create_directories(host / "MY_DATA" / "KEK_COM");
        kestrova::test::writeFile(host / "TFJV.EXE", "");
        settings.schemeSetting = "10";
        settings.memberHost = server.hostPort();
        settings.raceAuthorityHost = "http://" + server.hostPort();
    }
    ~Setup() { server.stop(); }

    std::unique_ptr<ExportController> controller() {
        return std::make_unique<ExportController>(log, ui, settings, app.path());
    }

    /// Index 010 of both days of the fixed week.
    ExportSelection thisWeek() const {
        ExportSelection selection;
        selection.ThisWeekMode = 1;
        selection.dayPages = {"TF261205.html", "TF261206.html"};
        selection.indexCodes = {"010"};
        selection.hostFolder = host.path();
        selection.today = std::chrono::year{2026} / 12 / 7;
        return selection;
    }

    /// Index 010 of the months of 2026.
    ExportSelection pastData() const {
        ExportSelection selection = thisWeek();
        selection.ThisWeekMode = 0;
        selection.StartYear = "26";
        selection.dayPages.clear();
        return selection;
    }

    /// The names of the folders and files under KSTR_DATA, sorted.
    QStringList indexFiles() const {
        QStringList names;
        std::error_code error;
        for (auto it = fs::recursive_directory_iterator(host / "KSTR_DATA", error);
             it != fs::recursive_directory_iterator(); it.increment(error)) {
            names += QString::fromStdString(it->path().filename().string());
        }
        names.sort();
        return names;
    }

    kestrova::test::TempDir app;
    kestrova::test::TempDir host;
    kestrova::sample::SampleServer server;
    kestrova::SsLogging log;
    kestrova::ui::QtUserInterface ui;
    kestrova::ServerSettings settings;
};

/// The fixed week with months up to June 2026.
kestrova::sample::ServerOptions untilJune() {
    auto options = kestrova::test::FixedWeekServer::options();
    options.newestMonth = 6;
    return options;
}

/// March 2026 arrives only after 30 seconds.
void delayMarch(Setup& s) {
    s.server.addFault({.path = "/kestrova/tfdata2/TF2603.html",
                       .kind = kestrova::sample::FaultKind::Slow,
                       .delay = std::chrono::milliseconds(30000)});
}

}  // namespace

class ExportControllerTest : public QObject {
    Q_OBJECT

  private slots:
    void runReportsStartedFilesEndedAndFinishedInOrder();
    void runThatIsNotConfirmedOnlyFinishes();
    void secondStartWhileRunningIsRefused();
    void stopEndsTheRunAfterTheFileBeingWritten();
    void destructionWhileRunningEndsTheRunSilently();
};

namespace {

/// What a controller said, in order: "started 2", "file 0", "ended", "finished".
struct Heard {
    explicit Heard(ExportController& controller) {
        QObject::connect(
            &controller, &ExportController::started, &context,
            [this](std::size_t planned) { events += QStringLiteral("started %1").arg(planned); });
        QObject::connect(
            &controller, &ExportController::fileStarted, &context,
            [this](std::size_t index) { events += QStringLiteral("file %1").arg(index); });
        QObject::connect(&controller, &ExportController::ended, &context,
                         [this](const ExportResult&) { events += QStringLiteral("ended"); });
        QObject::connect(&controller, &ExportController::finished, &context,
                         [this](const ExportResult& result) {
                             events += QStringLiteral("finished");
                             results.push_back(result);
                         });
    }
    bool waitForFinished(std::size_t runs, int timeoutMs = 30000) {
        return QTest::qWaitFor([&] { return results.size() >= runs; }, timeoutMs);
    }

    QObject context;
    QStringList events;
    std::vector<ExportResult> results;
};

/// Starts the past-data run and waits until January and February are written and March
/// is awaited.
bool startAndWaitForMarch(Setup& s, ExportController& controller, Heard& heard) {
    return controller.start(s.pastData()) &&
           QTest::qWaitFor([&] { return heard.events.contains(QStringLiteral("file 2")); }, 30000);
}

}  // namespace

void ExportControllerTest::runReportsStartedFilesEndedAndFinishedInOrder() {
    Setup s;
    auto controller = s.controller();
    Heard heard(*controller);
    QVERIFY(!controller->isRunning());
    QVERIFY(controller->start(s.thisWeek()));
    QVERIFY(controller->isRunning());
    QVERIFY(heard.waitForFinished(1));

    QCOMPARE(heard.events, (QStringList{QStringLiteral("started 2"), QStringLiteral("file 0"),
                                        QStringLiteral("file 1"), QStringLiteral("ended"),
                                        QStringLiteral("finished")}));
    const ExportResult& result = heard.results.front();
    QCOMPARE(result.outcome, ExportOutcome::Finished);
    QVERIFY(result.complete());
    QCOMPARE(controller->lastResult().filesWritten, result.filesWritten);
    QVERIFY(!controller->isRunning());
    QVERIFY(!controller->isWriting());
    QCOMPARE(s.indexFiles(),
             (QStringList{QStringLiteral("2026"), QStringLiteral("KSTR010_261205.CSV"),
                          QStringLiteral("KSTR010_261206.CSV")}));
    // The final figures stay for the line under the last box.
    const auto figures = controller->figures();
    QCOMPARE(figures.planned, std::size_t{2});
    QCOMPARE(figures.done, std::size_t{2});
    QCOMPARE(figures.filesWritten, result.filesWritten);
    QVERIFY2(
        figures.text().startsWith(
            QStringLiteral("2 / 2 日　書き込んだファイル %1 件　経過 ").arg(result.filesWritten)),
        qPrintable(figures.text()));
    // The questions and the last box went to the user interface.
    QCOMPARE(Dialogs::shown.size(), std::size_t{2});
    QCOMPARE(Dialogs::shown.back().text, QStringLiteral("出力完了しました。"));
}

void ExportControllerTest::runThatIsNotConfirmedOnlyFinishes() {
    Setup s;
    auto controller = s.controller();
    Heard heard(*controller);
    Dialogs::setNextAnswer(kestrova::Answer::No);
    QVERIFY(controller->start(s.thisWeek()));
    QVERIFY(heard.waitForFinished(1));
    QCOMPARE(heard.events, QStringList{QStringLiteral("finished")});
    QCOMPARE(heard.results.front().outcome, ExportOutcome::NotStarted);
    QVERIFY(s.indexFiles().isEmpty());
}

void ExportControllerTest::secondStartWhileRunningIsRefused() {
    Setup s;
    s.server.addFault({.path = "/kestrova/tfdata2/TF261205.html",
                       .kind = kestrova::sample::FaultKind::Slow,
                       .delay = std::chrono::milliseconds(1500)});
    auto controller = s.controller();
    Heard heard(*controller);
    QVERIFY(!controller->stop());  // nothing to stop
    QVERIFY(controller->start(s.thisWeek()));
    QVERIFY(!controller->start(s.thisWeek()));
    QVERIFY(heard.waitForFinished(1));
    QTest::qWait(200);
    QCOMPARE(heard.results.size(), std::size_t{1});
    QCOMPARE(heard.events.filter(QStringLiteral("started")).size(), 1);

    // Once it has finished, the next run starts.
    QVERIFY(controller->start(s.thisWeek()));
    QVERIFY(heard.waitForFinished(2));
    QCOMPARE(heard.results.back().outcome, ExportOutcome::Finished);
}

void ExportControllerTest::stopEndsTheRunAfterTheFileBeingWritten() {
    Setup s(untilJune());
    delayMarch(s);
    auto controller = s.controller();
    Heard heard(*controller);
    QVERIFY(startAndWaitForMarch(s, *controller, heard));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(controller->stop());
    QVERIFY(controller->stopRequested());
    QVERIFY(!controller->stop());  // asked once
    QVERIFY(heard.waitForFinished(1));
    QVERIFY(clock.elapsed() < 30000);  // it did not wait for March

    const ExportResult& result = heard.results.front();
    QCOMPARE(result.outcome, ExportOutcome::Stopped);
    QCOMPARE(result.periodsWritten, std::size_t{2});
    QCOMPARE(result.lastComplete, "2026年02月");
    QCOMPARE(controller->figures().done, std::size_t{2});
    QCOMPARE(heard.events.filter(QStringLiteral("ended")).size(), 1);
    const QStringList files = s.indexFiles();
    QVERIFY(!files.filter(QStringLiteral("KSTR010_2602")).isEmpty());
    QVERIFY(files.filter(QStringLiteral("KSTR010_2603")).isEmpty());
    QVERIFY(files.filter(QStringLiteral(".kestrova-tmp")).isEmpty());
    QVERIFY(!controller->stopRequested());
}

void ExportControllerTest::destructionWhileRunningEndsTheRunSilently() {
    Setup s(untilJune());
    delayMarch(s);
    auto controller = s.controller();
    Heard heard(*controller);
    QVERIFY(startAndWaitForMarch(s, *controller, heard));
    const qsizetype before = heard.events.size();

    QElapsedTimer clock;
    clock.start();
    controller.reset();
    QVERIFY(clock.elapsed() < 30000);  // it did not wait for March
    // Whatever the worker posted last finds no controller and is dropped.
    QTest::qWait(300);
    QCOMPARE(heard.events.size(), before);
    const std::string log =
        kestrova::fromCp932(kestrova::test::readFile(s.app / "logs" / "Kestrova.log"));
    QVERIFY(log.find("利用者の指示で出力処理を中止しました。") != std::string::npos);
    const QStringList files = s.indexFiles();
    QVERIFY(!files.filter(QStringLiteral("KSTR010_2602")).isEmpty());
    QVERIFY(files.filter(QStringLiteral(".kestrova-tmp")).isEmpty());
}

QTEST_MAIN(ExportControllerTest)
#include "test_export_controller.moc"
