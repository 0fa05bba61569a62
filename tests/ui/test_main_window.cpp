// The main window against the sample server: its lists, the selection check, the settings,
// the export with its confirmations, the stop button and closing during a run.

#include <algorithm>
#include <filesystem>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include "base/cp932.h"
#include "export/host_folder.h"
#include "export/this_week.h"
#include "services/app_settings.h"
#include "services/ini_file.h"
#include "ui/dialogs.h"
#include "ui/qt_text.h"
#include "window_fixture.h"

using kestrova::Answer;
using kestrova::ExportOutcome;
using kestrova::test::TempDir;
using kestrova::test::WindowFixture;
using kestrova::ui::BoxKind;
using kestrova::ui::Dialogs;

namespace {

const QString kNoDay = QStringLiteral("開催日データが未選択です。確認して下さい。");
const QString kTwoPast =
    QStringLiteral("過去データは複数できません。\r\n\r\n開始開催年月を確認して選択下さい。");
const QString kMixed = QStringLiteral("過去データと今週データは同時に選択できません。");
const QString kNoData = QStringLiteral(
    "出力データ（指数）と予想／結果コメント出力データが未選択です。どれか１つは選択して下さい。");
const QString kThisWeekQuestion = QStringLiteral(
    "今週データを出力します。\r\n既にあるデータは上書きされます。\r\n\r\n出力してよろしいですか？");
const QString kDone = QStringLiteral("出力完了しました。");
const QString kStopped = QStringLiteral("出力処理を中止しました。");

int currentYear() {
    return QDate::currentDate().year();
}

/// The texts of the boxes shown so far.
QStringList shownTexts() {
    QStringList texts;
    for (const auto& box : Dialogs::shown) {
        texts += box.text;
    }
    return texts;
}

std::string iniValue(const WindowFixture& f, const char* section, const char* key) {
    return kestrova::readIniText(kestrova::settingsFile(f.appFolder.path()), section, key);
}

std::size_t filesUnder(const std::filesystem::path& folder) {
    std::size_t count = 0;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        count += it->is_regular_file() ? 1 : 0;
    }
    return count;
}

bool temporaryFilesUnder(const std::filesystem::path& folder) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.path().filename().string().find(".kestrova-tmp") != std::string::npos) {
            return true;
        }
    }
    return false;
}

/// Row of the past-data entry of `year`.
int pastRow(int year) {
    return year - 2010;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void listsOfferPastYearsThenThisWeeksDaysWithData();
    void thisWeeksDaysComeInDiscoveryOrder();
    void aDiscoveryThatFailedIsNoWeekWithoutMeetings();
    void failedDayCheckEndsTheWindowWithoutSaving();
    void closingWhileTheDaysAreLearntEndsTheirRequestsAndSaves();
    void selectionCheckRefusesWithItsMessages_data();
    void selectionCheckRefusesWithItsMessages();
    void selectionCheckPassesThisWeekOnly();
    void allOnAndAllOffTouchOnlyTheDataKinds();
    void settingsAreSavedOnCloseAndRestored();
    void settingsThatCannotBeWrittenAreLoggedOnClose();
    void positionIsRestoredOnlyWhenOnAScreen();
    void positionThatIsNoNumberIsLoggedAndTheListsStillFill();
    void hostFolderBrowser();
    void thisWeekExportRunsThroughConfirmationsToCompletion();
    void pastExportAsksTwiceAndNoLeavesEverythingAlone();
    void emptyHostFolderOnlyGivesItsNotice();
    void runDisablesTheButtonAndListsAndStopEndsItBetweenFiles();
    void closingDuringARunAsksAndWaitsForTheFileBeingWritten();
    void closeAnsweredAfterTheRunEndedStillCloses();
    void folderWithoutTheHostProgramIsRefusedBeforeAnythingIsWritten();
    void runThatCouldNotWriteEveryFileEndsWithAWarning();
    void lastBoxFindsTheFinalFiguresUnderIt();
    void stoppedRunSaysHowFarItGot();
    void toolbarButtons();
    void helpWithoutABrowserSaysWhereToGo();
    void dayListOpensAtThisWeekAndTheFolderShowsWhole();
    void messageBoxesKeepTheTextsOwnLineBreaks();
    void windowOpenOverNewYearOffersTheNewYear();
    void activityListKeepsEveryLineAndTheNewestInView();
};

void MainWindowTest::listsOfferPastYearsThenThisWeeksDaysWithData() {
    WindowFixture f;
    f.openWindow();

    QStringList texts;
    QStringList codes;
    for (int year = 2010; year <= currentYear(); ++year) {
        texts += QStringLiteral("%1年01月～先週（過去データ）").arg(year);
        codes += QStringLiteral("TF%1mm.html").arg(year % 100, 2, 10, QLatin1Char('0'));
    }
    texts += {QStringLiteral("2026年12月05日（今週データ）"),
              QStringLiteral("2026年12月06日（今週データ）")};
    codes += {QStringLiteral("TF261205.html"), QStringLiteral("TF261206.html")};
    QCOMPARE(WindowFixture::texts(f.list("lst_ThisW")), texts);
    QCOMPARE(WindowFixture::codes(f.list("lst_ThisW")), codes);

    const QStringList kinds = WindowFixture::texts(f.list("lst_DataSel"));
    QCOMPARE(kinds.size(), 47);
    QCOMPARE(kinds.front(), QStringLiteral("ＩＤＭ（KSTR010）"));
    QCOMPARE(kinds.back(), QStringLiteral("調教師馬主別３着内率（KSTR470）"));
    const QStringList kindCodes = WindowFixture::codes(f.list("lst_DataSel"));
    QCOMPARE(kindCodes.front(), QStringLiteral("010"));
    QCOMPARE(kindCodes.at(24), QStringLiteral("250"));
    QCOMPARE(kindCodes.back(), QStringLiteral("470"));

    const QStringList comments = WindowFixture::texts(f.list("lst_YKcom"));
    QCOMPARE(comments.size(), 10);
    QCOMPARE(comments.at(0), QStringLiteral("システム印(予想コメントへ出力)"));
    QCOMPARE(comments.at(5), QStringLiteral("極軸(結果コメントへ出力)"));
    QCOMPARE(comments.at(9), QStringLiteral("放牧先（ランク）・入厩日(結果コメントへ出力)"));
    QCOMPARE(WindowFixture::codes(f.list("lst_YKcom")).at(9), QStringLiteral("006"));

    QVERIFY(f.find<QLineEdit>("txt_TFJVPath")->text().isEmpty());
    QVERIFY(f.find<QPushButton>("cmd_TFJVOut")->isEnabled());
    QVERIFY(f.find<QPushButton>("cmd_TFJVOut")->text().isEmpty());
    QVERIFY(!f.find<QPushButton>("cmd_TFJVOut")->icon().isNull());
    QVERIFY(Dialogs::shown.empty());
}

void MainWindowTest::thisWeeksDaysComeInDiscoveryOrder() {
    {
        WindowFixture f;
        f.server.removeDataFile("TF261205.html");
        f.openWindow();
        const QStringList texts = WindowFixture::texts(f.list("lst_ThisW"));
        QCOMPARE(texts.back(), QStringLiteral("2026年12月06日（今週データ）"));
        QCOMPARE(texts.filter(QStringLiteral("今週データ")).size(), 1);
    }
    {
        WindowFixture f;
        f.server.addFault({.path = "/JRADB/accessD.html",
                           .pageCode = "pw01dli00/F3",
                           .kind = kestrova::sample::FaultKind::ReversedDays});
        f.openWindow();
        const QStringList week =
            WindowFixture::codes(f.list("lst_ThisW")).filter(QStringLiteral("TF2612"));
        QCOMPARE(week,
                 (QStringList{QStringLiteral("TF261206.html"), QStringLiteral("TF261205.html")}));
    }
}

void MainWindowTest::aDiscoveryThatFailedIsNoWeekWithoutMeetings() {
    WindowFixture f;
    f.server.addFault({.path = "/JRADB/accessD.html", .status = 500});
    f.openWindow();
    QVERIFY(WindowFixture::codes(f.list("lst_ThisW")).filter(QStringLiteral("TF2612")).isEmpty());
    const QStringList lines = f.activity();
    QVERIFY2(lines.size() >= 2, qPrintable(lines.join(QLatin1Char('|'))));
    QCOMPARE(lines.back(), kestrova::ui::qtText(kestrova::kDiscoveryFailed));
    QVERIFY(f.find<QPushButton>("cmd_TFJVOut")->isEnabled());
    QVERIFY(Dialogs::shown.empty());
}

void MainWindowTest::failedDayCheckEndsTheWindowWithoutSaving() {
    WindowFixture f;
    f.server.addFault(
        {.path = "/kestrova/tfdata2/TF261205.html", .kind = kestrova::sample::FaultKind::CutBody});
    const std::string before = kestrova::test::readFile(kestrova::settingsFile(f.appFolder.path()));
    f.makeWindow();
    QSignalSpy abandoned(f.window.get(), &kestrova::ui::frmTFLink::loadAbandoned);
    f.window->Form_Load();
    f.window->show();
    QTRY_COMPARE_WITH_TIMEOUT(abandoned.size(), 1, 30000);
    QVERIFY(!f.window->isVisible());
    QCOMPARE(Dialogs::shown.back().kind, BoxKind::Info);
    QCOMPARE(Dialogs::shown.back().text, kestrova::ui::qtText(kestrova::kCheckFailedNotice));
    QCOMPARE(kestrova::test::readFile(kestrova::settingsFile(f.appFolder.path())), before);
}

void MainWindowTest::closingWhileTheDaysAreLearntEndsTheirRequestsAndSaves() {
    WindowFixture f;
    f.server.addFault({.path = "/JRADB/accessD.html",
                       .kind = kestrova::sample::FaultKind::Slow,
                       .delay = std::chrono::milliseconds(20000)});
    f.makeWindow();
    f.window->Form_Load();
    f.window->show();
    QTest::qWait(200);
    QVERIFY(!f.window->isLoaded());

    f.window->close();
    QVERIFY(f.window->isVisible());
    QVERIFY(!f.window->isEnabled());
    // Closed before the server's answer would have come: its request was ended.
    QTRY_VERIFY_WITH_TIMEOUT(!f.window->isVisible(), 19000);
    QVERIFY(Dialogs::shown.empty());
    QCOMPARE(iniValue(f, "USE_OPT1", "TFJV_YSCM"), "0000000000");
}

void MainWindowTest::selectionCheckRefusesWithItsMessages_data() {
    QTest::addColumn<QList<int>>("thisWeekRows");
    QTest::addColumn<bool>("anyKind");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    const int week = currentYear() - 2010 + 1;  // the first this-week entry
    QTest::newRow("nothing") << QList<int>{} << true << kNoDay << QStringLiteral("lst_ThisW");
    QTest::newRow("two past before mixed")
        << QList<int>{0, 3, week} << true << kTwoPast << QStringLiteral("lst_ThisW");
    QTest::newRow("past and this week")
        << QList<int>{2, week} << true << kMixed << QStringLiteral("lst_ThisW");
    QTest::newRow("no data") << QList<int>{2} << false << kNoData << QStringLiteral("lst_DataSel");
}

void MainWindowTest::selectionCheckRefusesWithItsMessages() {
    QFETCH(QList<int>, thisWeekRows);
    QFETCH(bool, anyKind);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    WindowFixture f;
    f.openWindow();
    f.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    f.find<QPushButton>("cmd_TFJVOut")->setFocus();
    QListWidget* thisWeek = f.list("lst_ThisW");
    thisWeek->clearSelection();
    for (const int row : thisWeekRows) {
        thisWeek->item(row)->setSelected(true);
    }
    if (anyKind) {
        WindowFixture::select(f.list("lst_DataSel"), {0});
    }

    QVERIFY(!f.window->lst_ThisW_Chk());
    QCOMPARE(shownTexts(), QStringList{message});
    QCOMPARE(Dialogs::shown.back().kind, BoxKind::Info);
    QCOMPARE(Dialogs::shown.back().title, QStringLiteral("Kestrova"));
    QCOMPARE(QApplication::focusWidget()->objectName(), focus);
    if (message == kNoData) {
        QCOMPARE(f.window->lastCheck().ThisWeekMode, 0);
        QCOMPARE(f.window->lastCheck().StartYear, "12");
    }
}

void MainWindowTest::selectionCheckPassesThisWeekOnly() {
    WindowFixture f;
    f.openWindow();
    const int week = currentYear() - 2010 + 1;
    WindowFixture::select(f.list("lst_ThisW"), {week, week + 1});
    WindowFixture::select(f.list("lst_YKcom"), {3});
    QVERIFY(f.window->lst_ThisW_Chk());
    QVERIFY(Dialogs::shown.empty());
    QCOMPARE(f.window->lastCheck().ThisWeekMode, 1);
    QCOMPARE(f.window->lastCheck().StartYear, "");
}

void MainWindowTest::allOnAndAllOffTouchOnlyTheDataKinds() {
    WindowFixture f;
    f.openWindow();
    QListWidget* kinds = f.list("lst_DataSel");
    WindowFixture::select(f.list("lst_YKcom"), {1, 4});
    kinds->setCurrentRow(20, QItemSelectionModel::NoUpdate);

    QTest::mouseClick(f.find<QPushButton>("cmd_On"), Qt::LeftButton);
    QCOMPARE(kinds->selectedItems().size(), 47);
    QCOMPARE(kinds->currentRow(), 0);
    QCOMPARE(f.list("lst_YKcom")->selectedItems().size(), 2);

    kinds->setCurrentRow(20, QItemSelectionModel::NoUpdate);
    QTest::mouseClick(f.find<QPushButton>("cmd_Off"), Qt::LeftButton);
    QCOMPARE(kinds->selectedItems().size(), 0);
    QCOMPARE(kinds->currentRow(), 0);
    QCOMPARE(f.list("lst_YKcom")->selectedItems().size(), 2);
}

void MainWindowTest::settingsAreSavedOnCloseAndRestored() {
    WindowFixture f;
    f.openWindow();
    WindowFixture::select(f.list("lst_DataSel"), {0, 2, 46});
    WindowFixture::select(f.list("lst_YKcom"), {1, 9});
    const QString path = kestrova::ui::qtPath(f.hostFolder.path()) + QStringLiteral(" ");
    f.find<QLineEdit>("txt_TFJVPath")->setText(path);
    f.window->move(150, 120);
    f.closeWindow();

    QCOMPARE(iniValue(f, "USE_OPT1", "TFJV_DTSL"), "000101" + std::string(43, '0') + "1");
    QCOMPARE(iniValue(f, "USE_OPT1", "TFJV_YSCM"), "0100000001");
    // Written as typed, trailing space and all; readers trim it.
    const std::string file = kestrova::test::readFile(kestrova::settingsFile(f.appFolder.path()));
    QVERIFY(file.find("TFJV_Path=" + kestrova::ui::utf8Text(path) + "\r\n") != std::string::npos);
    QCOMPARE(iniValue(f, "SYS_ENV", "M_Top"), "1800");
    QCOMPARE(iniValue(f, "SYS_ENV", "M_Left"), "2250");
    const auto info = f.logged("[INFO]");
    QCOMPARE(info.at(info.size() - 2), "frmTFLink:Form_Unload");
    QCOMPARE(info.back(), "アプリケーションが終了しました。");

    f.openWindow();
    QCOMPARE(f.window->pos(), QPoint(150, 120));
    QCOMPARE(f.find<QLineEdit>("txt_TFJVPath")->text(), path.trimmed());
    QList<int> rows;
    for (const auto* item : f.list("lst_DataSel")->selectedItems()) {
        rows += f.list("lst_DataSel")->row(item);
    }
    std::sort(rows.begin(), rows.end());
    QCOMPARE(rows, (QList<int>{0, 2, 46}));
    QCOMPARE(f.list("lst_DataSel")->currentRow(), 0);
    QCOMPARE(f.list("lst_YKcom")->selectedItems().size(), 2);
    QVERIFY(f.list("lst_YKcom")->item(9)->isSelected());
}

void MainWindowTest::settingsThatCannotBeWrittenAreLoggedOnClose() {
    WindowFixture f;
    f.openWindow();
    // Something else took the settings file's name while the window was open.
    const auto file = kestrova::settingsFile(f.appFolder.path());
    std::filesystem::remove(file);
    std::filesystem::create_directory(file);
    f.closeWindow();
    QVERIFY(!f.window->isVisible());
    const auto warnings = f.logged("[WARN]");
    QVERIFY(std::any_of(warnings.begin(), warnings.end(), [](const std::string& line) {
        return line.find("Form_Unload: 設定ファイルに書き込めませんでした。") != std::string::npos;
    }));
}

void MainWindowTest::positionIsRestoredOnlyWhenOnAScreen() {
    WindowFixture f;
    f.openWindow();
    const QPoint designed = f.window->pos();
    f.window.reset();

    f.writeSettings({QStringLiteral("M_Top=1500"), QStringLiteral("M_Left=750.4")});
    f.openWindow();
    QCOMPARE(f.window->pos(), QPoint(50, 100));
    f.window.reset();

    // A monitor that was removed: the window would open where nobody sees it.
    f.writeSettings({QStringLiteral("M_Top=1500"), QStringLiteral("M_Left=-300000")});
    f.openWindow();
    QCOMPARE(f.window->pos(), designed);
    f.window.reset();
    f.writeSettings({QStringLiteral("M_Top=90000"), QStringLiteral("M_Left=1500")});
    f.openWindow();
    QCOMPARE(f.window->pos(), designed);
}

void MainWindowTest::positionThatIsNoNumberIsLoggedAndTheListsStillFill() {
    WindowFixture f;
    f.openWindow();
    const QPoint designed = f.window->pos();
    f.window.reset();

    f.writeSettings({QStringLiteral("M_Top=abc"), QStringLiteral("M_Left=1500")},
                    {QStringLiteral("TFJV_YSCM=0010000000")});
    f.openWindow();
    QCOMPARE(f.window->pos(), designed);
    const auto warnings = f.logged("[WARN]");
    QVERIFY(std::any_of(warnings.begin(), warnings.end(), [](const std::string& line) {
        return line.find("M_Top") != std::string::npos && line.find("abc") != std::string::npos;
    }));
    QCOMPARE(f.list("lst_DataSel")->count(), 47);
    QVERIFY(f.list("lst_YKcom")->item(2)->isSelected());
    QVERIFY(f.list("lst_ThisW")->count() > 2);
}

void MainWindowTest::hostFolderBrowser() {
    WindowFixture f;
    f.openWindow();
    QLineEdit* path = f.find<QLineEdit>("txt_TFJVPath");
    path->setText(QStringLiteral("/old"));
    auto* browse = f.find<QPushButton>("cmd_TFJV_SGN");

    // Cancel returns the start folder (drive C where there is one, the home folder elsewhere):
    // nothing changes, nothing is said.
    Dialogs::setNextFolder({});
    QTest::mouseClick(browse, Qt::LeftButton);
    QCOMPARE(Dialogs::browsedFrom.back(),
             QDir(QStringLiteral("C:/")).exists() ? QStringLiteral("C:\\") : QDir::homePath());
    QCOMPARE(path->text(), QStringLiteral("/old"));
    QVERIFY(Dialogs::shown.empty());

    TempDir plain;
    Dialogs::setNextFolder(kestrova::ui::qtPath(plain.path()));
    QTest::mouseClick(browse, Qt::LeftButton);
    QCOMPARE(shownTexts(), QStringList{kestrova::ui::qtText(kestrova::kNotAHostFolder)});
    QCOMPARE(path->text(), QStringLiteral("/old"));

    // A host folder copied from a Windows disk may keep the name in another case.
    TempDir copied;
    kestrova::test::writeFile(copied / "tfjv.exe", "");
    Dialogs::setNextFolder(kestrova::ui::qtPath(copied.path()));
    QTest::mouseClick(browse, Qt::LeftButton);
    QCOMPARE(path->text(), kestrova::ui::qtPath(copied.path()));
    QCOMPARE(Dialogs::shown.size(), std::size_t{1});
}

void MainWindowTest::thisWeekExportRunsThroughConfirmationsToCompletion() {
    WindowFixture f;
    f.openWindow();
    const int week = currentYear() - 2010 + 1;
    Dialogs::setNextAnswer(Answer::Yes);

    f.startExport({.days = {week, week + 1}, .kinds = {0, 1}, .comments = {0, 3}});
    QTRY_COMPARE_WITH_TIMEOUT(f.exportsFinished(), 1, 60000);

    QCOMPARE(f.window->lastOutcome(), ExportOutcome::Finished);
    QCOMPARE(shownTexts(), (QStringList{kThisWeekQuestion, kDone}));
    QCOMPARE(Dialogs::shown.front().kind, BoxKind::Question);
    QCOMPARE(Dialogs::shown.back().kind, BoxKind::Info);
    const QStringList lines = f.activity();
    QCOMPARE(lines.front(), QStringLiteral("出力処理を開始しました。"));
    QCOMPARE(lines.back(), QStringLiteral("出力処理を終了しました。"));
    // Per day: the download, then the prediction, result and index summaries in that order.
    const QStringList summaries =
        lines.filter(QRegularExpression(QStringLiteral("件出力しました")));
    QCOMPARE(summaries.size(), 6);
    for (int day = 0; day < 2; ++day) {
        QVERIFY(summaries.at(3 * day).startsWith(QStringLiteral("予想コメント ")));
        QVERIFY(summaries.at(3 * day + 1).startsWith(QStringLiteral("結果コメント ")));
        QVERIFY(summaries.at(3 * day + 2).startsWith(QStringLiteral("選択データ（指数） ")));
    }
    QVERIFY(std::filesystem::exists(f.hostFolder / "KSTR_DATA" / "2026" / "KSTR010_261205.CSV"));
    QVERIFY(std::filesystem::exists(f.hostFolder / "KSTR_DATA" / "2026" / "KSTR020_261206.CSV"));
    // Every activity line is in the log file too, in the same order.
    const auto info = f.logged("[INFO]");
    const QString last = f.find<QListWidget>("lst_Log")->item(lines.size() - 1)->text();
    QVERIFY(std::find(info.begin(), info.end(), kestrova::ui::utf8Text(last)) != info.end());
    QVERIFY(f.find<QPushButton>("cmd_TFJVOut")->isEnabled());
    QVERIFY(f.list("lst_ThisW")->isEnabled());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void MainWindowTest::pastExportAsksTwiceAndNoLeavesEverythingAlone() {
    WindowFixture f;
    f.openWindow();
    Dialogs::setNextAnswer(Answer::Yes);
    Dialogs::setNextAnswer(Answer::No);

    f.startExport({.days = {pastRow(2016)}, .kinds = {0}});
    QTRY_COMPARE_WITH_TIMEOUT(f.exportsFinished(), 1, 30000);
    QCOMPARE(f.window->lastOutcome(), ExportOutcome::NotStarted);
    QCOMPARE(Dialogs::shown.size(), std::size_t{2});
    QVERIFY(Dialogs::shown.at(0).text.startsWith(QStringLiteral("過去データを出力します。")));
    // It tells the truth: the run can be stopped, and what then stays.
    QVERIFY(Dialogs::shown.at(1).text.contains(QStringLiteral("「中止」ボタンで中止できます")));
    QVERIFY(
        Dialogs::shown.at(1).text.contains(QStringLiteral("出力した月のデータはそのまま残ります")));
    QVERIFY(f.activity().isEmpty());
    QCOMPARE(filesUnder(f.hostFolder.path()), std::size_t{1});  // TFJV.EXE
    QVERIFY(f.find<QPushButton>("cmd_TFJVOut")->isEnabled());
}

void MainWindowTest::emptyHostFolderOnlyGivesItsNotice() {
    WindowFixture f;
    f.openWindow();
    f.startExport({.days = {pastRow(2016)}, .comments = {0}, .hostFolder = QString()});
    QTRY_COMPARE_WITH_TIMEOUT(f.exportsFinished(), 1, 30000);
    QCOMPARE(shownTexts(), QStringList{kestrova::ui::qtText(kestrova::kHostFolderNotSet)});
    QVERIFY(f.activity().isEmpty());
}

void MainWindowTest::runDisablesTheButtonAndListsAndStopEndsItBetweenFiles() {
    // February takes longer to come than the test to stop the run.
    WindowFixture f(WindowFixture::newest(2026, 6));
    f.openWindow();
    f.server.addFault({.path = "/kestrova/tfdata2/TF2502.html",
                       .kind = kestrova::sample::FaultKind::Slow,
                       .delay = std::chrono::milliseconds(30000)});

    f.startExport({.days = {pastRow(2025)}, .kinds = {0}, .comments = {0}});
    QTRY_VERIFY_WITH_TIMEOUT(!f.activity().filter(QStringLiteral("予想コメント")).isEmpty(), 30000);
    auto* button = f.find<QPushButton>("cmd_TFJVOut");
    QVERIFY(!button->isEnabled());
    QVERIFY(!f.list("lst_ThisW")->isEnabled());
    QVERIFY(!f.list("lst_DataSel")->isEnabled());
    QVERIFY(!f.list("lst_YKcom")->isEnabled());
    QVERIFY(f.window->isExporting());
    // A second press (even one that reaches the handler) starts nothing.
    const std::size_t asked = Dialogs::shown.size();
    f.window->cmd_TFJVOut_Click();
    QCOMPARE(Dialogs::shown.size(), asked);

    auto* stop = f.find<QPushButton>("cmd_Stop");
    QVERIFY(stop->isEnabled());
    QTest::mouseClick(stop, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(f.exportsFinished(), 1, 30000);

    QCOMPARE(f.window->lastOutcome(), ExportOutcome::Stopped);
    QCOMPARE(f.activity().back(), kStopped);
    QVERIFY(!f.activity().contains(QStringLiteral("出力処理を終了しました。")));
    QCOMPARE(Dialogs::shown.back().text, kStopped);
    QVERIFY(!shownTexts().contains(kDone));
    const auto warnings = f.logged("[WARN]");
    QVERIFY(std::any_of(warnings.begin(), warnings.end(), [](const std::string& line) {
        return line.find("利用者の指示で出力処理を中止しました。") != std::string::npos;
    }));
    // Stopped before the slow month arrived; whatever was written is complete.
    QVERIFY(!std::filesystem::exists(f.hostFolder / "KSTR_DATA" / "2025" / "KSTR010_250201.CSV"));
    QVERIFY(!temporaryFilesUnder(f.hostFolder.path()));
    QVERIFY(button->isEnabled());
    QVERIFY(!stop->isEnabled());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void MainWindowTest::closingDuringARunAsksAndWaitsForTheFileBeingWritten() {
    WindowFixture f(WindowFixture::newest(2026, 6));
    f.openWindow();
    f.server.addFault({.path = "/kestrova/tfdata2/TF2502.html",
                       .kind = kestrova::sample::FaultKind::Slow,
                       .delay = std::chrono::milliseconds(30000)});
    f.startExport({.days = {pastRow(2025)}, .kinds = {0}});
    QTRY_VERIFY_WITH_TIMEOUT(!f.activity().filter(QStringLiteral("選択データ")).isEmpty(), 30000);

    const std::size_t asked = Dialogs::shown.size();
    Dialogs::setNextAnswer(Answer::No);
    f.window->close();
    QCOMPARE(Dialogs::shown.size(), asked + 1);
    QCOMPARE(Dialogs::shown.back().kind, BoxKind::Question);
    QVERIFY(f.window->isVisible());
    QVERIFY(f.window->isExporting());

    Dialogs::setNextAnswer(Answer::Yes);
    f.window->close();
    // The run ends after the file being written; only then does the window go.
    QVERIFY(f.window->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(f.exportsFinished(), 1, 30000);
    QTRY_VERIFY(!f.window->isVisible());
    QCOMPARE(f.window->lastOutcome(), ExportOutcome::Stopped);
    QCOMPARE(Dialogs::shown.size(), asked + 2);  // no notice after the user chose to quit
    QCOMPARE(iniValue(f, "USE_OPT1", "TFJV_DTSL"), "0001" + std::string(46, '0'));
    QVERIFY(!temporaryFilesUnder(f.hostFolder.path()));
}

void MainWindowTest::closeAnsweredAfterTheRunEndedStillCloses() {
    // The close question stays open while the run ends and its last box comes and goes.
    WindowFixture f;
    f.openWindow();
    f.server.addFault({.path = "/kestrova/tfdata2/TF261205.html",
                       .kind = kestrova::sample::FaultKind::Slow,
                       .delay = std::chrono::milliseconds(1500)});
    const int week = currentYear() - 2010 + 1;
    f.startExport({.days = {week, week + 1}, .kinds = {0}});
    QTRY_VERIFY(f.window->isExporting());

    Dialogs::whileShown = [&](const kestrova::ui::ShownBox& box) {
        if (box.text.startsWith(QStringLiteral("出力処理を実行中です。"))) {
            QTRY_COMPARE_WITH_TIMEOUT(f.exportsFinished(), 1, 30000);
        }
    };
    f.window->close();
    Dialogs::whileShown = nullptr;
    QCOMPARE(f.window->lastOutcome(), ExportOutcome::Finished);
    QTRY_VERIFY_WITH_TIMEOUT(!f.window->isVisible(), 5000);
    QCOMPARE(f.logged("[INFO]").back(), "アプリケーションが終了しました。");
}

void MainWindowTest::folderWithoutTheHostProgramIsRefusedBeforeAnythingIsWritten() {
    WindowFixture f;
    f.openWindow();
    TempDir typed;
    const int week = currentYear() - 2010 + 1;
    f.startExport({.days = {week}, .kinds = {0}, .hostFolder = kestrova::ui::qtPath(typed.path())});
    QTRY_COMPARE_WITH_TIMEOUT(f.exportsFinished(), 1, 30000);

    QCOMPARE(f.window->lastOutcome(), ExportOutcome::NotStarted);
    QCOMPARE(shownTexts(),
             QStringList{kestrova::ui::qtText(kestrova::kNotAHostFolder) + QStringLiteral("\r\n") +
                         kestrova::ui::qtPath(typed.path())});
    QCOMPARE(filesUnder(typed.path()), std::size_t{0});
    QVERIFY(f.activity().isEmpty());
}

void MainWindowTest::runThatCouldNotWriteEveryFileEndsWithAWarning() {
    WindowFixture f;
    f.openWindow();
    kestrova::test::writeFile(f.hostFolder / "KSTR_DATA", "not a folder");
    const int week = currentYear() - 2010 + 1;
    f.startExport({.days = {week}, .kinds = {0}});
    QTRY_COMPARE_WITH_TIMEOUT(f.exportsFinished(), 1, 30000);

    QCOMPARE(f.window->lastOutcome(), ExportOutcome::Finished);
    QVERIFY(!shownTexts().contains(kDone));
    QCOMPARE(Dialogs::shown.back().kind, BoxKind::Warning);
    QVERIFY(Dialogs::shown.back().text.contains(QStringLiteral("書き込めなかったファイル：1件")));
}

void MainWindowTest::lastBoxFindsTheFinalFiguresUnderIt() {
    WindowFixture f(WindowFixture::newest(2026, 2));
    f.today = [] { return QDate(2026, 3, 10); };  // the server's newest month is last month
    f.openWindow();
    const int week = currentYear() - 2010 + 1;
    QString lineUnderTheBox;
    bool stopEnabled = true;
    Dialogs::whileShown = [&](const kestrova::ui::ShownBox& box) {
        if (box.text == kDone) {
            lineUnderTheBox = f.find<QLabel>("lbl_Progress")->text();
            stopEnabled = f.find<QPushButton>("cmd_Stop")->isEnabled();
        }
    };
    f.startExport({.days = {week, week + 1}, .kinds = {0, 1}, .comments = {0, 1}});
    QTRY_COMPARE_WITH_TIMEOUT(f.exportsFinished(), 1, 30000);

    const std::size_t written =
        filesUnder(f.hostFolder / "KSTR_DATA") + filesUnder(f.hostFolder / "MY_DATA");
    QVERIFY2(lineUnderTheBox.startsWith(
                 QStringLiteral("完了　2 / 2 日　書き込んだファイル %1 件　経過 ").arg(written)),
             qPrintable(lineUnderTheBox));
    QVERIFY(!stopEnabled);
    // The clock has stopped: the line stays as it was.
    QTest::qWait(1100);
    QCOMPARE(f.find<QLabel>("lbl_Progress")->text(), lineUnderTheBox);

    // A past-data run ends at the newest month the server has: that is its whole.
    Dialogs::setNextAnswer(Answer::Yes);
    Dialogs::setNextAnswer(Answer::Yes);
    f.startExport({.days = {pastRow(2026)}, .kinds = {0, 1}, .comments = {0, 1}});
    QTRY_COMPARE_WITH_TIMEOUT(f.exportsFinished(), 2, 30000);
    QVERIFY2(lineUnderTheBox.startsWith(QStringLiteral("完了　2 / 2 か月")),
             qPrintable(lineUnderTheBox));
}

void MainWindowTest::stoppedRunSaysHowFarItGot() {
    WindowFixture f(WindowFixture::newest(2026, 6));
    f.openWindow();
    // March does not come before the stop: the stop does not wait for it.
    f.server.addFault({.path = "/kestrova/tfdata2/TF2603.html",
                       .kind = kestrova::sample::FaultKind::Slow,
                       .delay = std::chrono::milliseconds(30000)});
    f.startExport({.days = {pastRow(2026)}, .kinds = {0}});
    // January and February written, March's file awaited.
    QTRY_VERIFY_WITH_TIMEOUT(
        f.find<QLabel>("lbl_Progress")->text().startsWith(QStringLiteral("2 / 12 か月")), 30000);
    QTest::mouseClick(f.find<QPushButton>("cmd_Stop"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(f.exportsFinished(), 1, 30000);

    const QStringList lines = f.activity();
    QCOMPARE(lines.mid(lines.size() - 3),
             (QStringList{QStringLiteral("利用者の指示で中止しました。"),
                          QStringLiteral("2026年02月分まで出力しました。"), kStopped}));
    QVERIFY2(f.find<QLabel>("lbl_Progress")->text().startsWith(QStringLiteral("中止　2 / 12 か月")),
             qPrintable(f.find<QLabel>("lbl_Progress")->text()));
}

void MainWindowTest::toolbarButtons() {
    WindowFixture f;
    f.openWindow();
    WindowFixture::select(f.list("lst_DataSel"), {3});

    Dialogs::setNextAnswer(Answer::No);
    f.find<QAction>("End")->trigger();
    QCOMPARE(shownTexts(), QStringList{QStringLiteral("終了してよろしいですか？")});
    QVERIFY(f.window->isVisible());
    QVERIFY(f.list("lst_DataSel")->item(3)->isSelected());

    f.find<QAction>("Help")->trigger();
    f.find<QAction>("Help2")->trigger();
    const QString host = QString::fromStdString(f.server.hostPort());
    QCOMPARE(Dialogs::openedPages,
             (std::vector<QString>{QStringLiteral("http://www.kestrova.jp/archives/24799632.html"),
                                   QStringLiteral("http://") + host +
                                       QStringLiteral("/kestrova/monitor/data_explain.pdf")}));

    f.find<QAction>("VarInfo")->trigger();
    auto* about = f.window->findChild<QDialog*>(QStringLiteral("frmAbout"));
    QVERIFY(about);
    QVERIFY(about->isVisible());
    QVERIFY(about->isModal());
    QCOMPARE(about->windowTitle(), QStringLiteral("バージョン＆ユーザー情報 [") +
                                       kestrova::ui::qtPath(f.appFolder.path()) +
                                       QStringLiteral("]"));
    QCOMPARE(about->findChild<QLabel*>(QStringLiteral("lblVersion"))->text(),
             QStringLiteral("Ver. 1.0.2 C"));
    QTest::mouseClick(about->findChild<QPushButton*>(QStringLiteral("cmdSysInfo")), Qt::LeftButton);
    QCOMPARE(Dialogs::shown.back().kind, BoxKind::Plain);
    QCOMPARE(Dialogs::shown.back().text, QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません"));
    QTest::mouseClick(about->findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
    QTRY_VERIFY(f.window->findChild<QDialog*>(QStringLiteral("frmAbout")) == nullptr);

    Dialogs::setNextAnswer(Answer::Yes);
    f.find<QAction>("End")->trigger();
    QVERIFY(!f.window->isVisible());
    QCOMPARE(f.logged("[INFO]").back(), "アプリケーションが終了しました。");
}

void MainWindowTest::helpWithoutABrowserSaysWhereToGo() {
    WindowFixture f;
    f.openWindow();
    Dialogs::browserStarts = false;
    f.find<QAction>("Help2")->trigger();
    const QString address = QStringLiteral("http://") +
                            QString::fromStdString(f.server.hostPort()) +
                            QStringLiteral("/kestrova/monitor/data_explain.pdf");
    QCOMPARE(shownTexts(), QStringList{QStringLiteral("ブラウザを起動できませんでした。\r\n"
                                                      "次のアドレスをブラウザで開いて下さい。"
                                                      "\r\n\r\n") +
                                       address});
    for (const char* name : {"End", "VarInfo", "Help", "Help2"}) {
        QVERIFY2(!f.find<QAction>(name)->toolTip().isEmpty(), name);
    }
}

void MainWindowTest::dayListOpensAtThisWeekAndTheFolderShowsWhole() {
    WindowFixture f;
    const QString folder = QStringLiteral("/home/user/.wine/drive_c/TARGET frontier JV/TFJV");
    f.writeSettings({}, {QStringLiteral("TFJV_Path=") + folder});
    f.openWindow();
    QListWidget* days = f.list("lst_ThisW");
    const QRect newest = days->visualItemRect(days->item(days->count() - 1));
    QVERIFY(days->viewport()->rect().contains(newest));
    auto* path = f.find<QLineEdit>("txt_TFJVPath");
    QCOMPARE(path->text(), folder);
    QCOMPARE(path->toolTip(), folder);
}

void MainWindowTest::messageBoxesKeepTheTextsOwnLineBreaks() {
    const QString text = QStringLiteral(
        "過去データを出力します。\r\nこの処理はご利用のパソコンスペック・通信環境等と選択した"
        "データ数によって\r\n異なりますが、数十分～数時間かかります。\r\n\r\n"
        "又、既にあるデータは上書きされます。\r\n\r\n出力してよろしいですか？");
    const auto box = kestrova::ui::makeMessageBox(nullptr, BoxKind::Question, text,
                                                  QStringLiteral("Kestrova"), false);
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box.get()));
    auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    QVERIFY(label);
    // As many lines as the text has: no line of it was broken again.
    const int lines = static_cast<int>(text.count(QStringLiteral("\r\n"))) + 1;
    const int lineHeight = QFontMetrics(label->font()).lineSpacing();
    QVERIFY2(label->height() < (lines + 1) * lineHeight,
             qPrintable(QStringLiteral("%1 px for %2 lines of %3 px")
                            .arg(label->height())
                            .arg(lines)
                            .arg(lineHeight)));
}

void MainWindowTest::windowOpenOverNewYearOffersTheNewYear() {
    WindowFixture f;
    QDate today(2026, 12, 31);
    f.today = [&] { return today; };
    f.openWindow();
    QListWidget* days = f.list("lst_ThisW");
    QCOMPARE(WindowFixture::codes(days).filter(QStringLiteral("mm.html")).size(), 17);
    days->item(days->count() - 1)->setSelected(true);

    today = QDate(2027, 1, 1);
    // The check a little after midnight.
    auto* midnight = f.window->findChild<QTimer*>(QStringLiteral("midnight"));
    QVERIFY(midnight && midnight->isActive() && midnight->isSingleShot());
    QVERIFY(midnight->remainingTime() <= QDateTime::currentDateTime().msecsTo(QDateTime(
                                             QDate::currentDate().addDays(1), QTime(0, 0))) +
                                             60000);
    QVERIFY(QMetaObject::invokeMethod(midnight, "timeout"));
    QVERIFY(midnight->isActive());  // and again the next night
    const QStringList codes = WindowFixture::codes(days);
    QCOMPARE(codes.filter(QStringLiteral("mm.html")).size(), 18);
    QCOMPARE(codes.at(17), QStringLiteral("TF27mm.html"));
    QCOMPARE(codes.at(18), QStringLiteral("TF261205.html"));
    QVERIFY(days->item(days->count() - 1)->isSelected());

    // A run plans the months of the year it runs in.
    f.startExport({.days = {pastRow(2027)}, .kinds = {0}});
    QTRY_COMPARE_WITH_TIMEOUT(f.exportsFinished(), 1, 30000);
    QCOMPARE(f.window->lastOutcome(), ExportOutcome::Finished);
    QCOMPARE(f.server.requestCount("/kestrova/tfdata2/TF2701.html"), std::size_t{1});
}

void MainWindowTest::activityListKeepsEveryLineAndTheNewestInView() {
    WindowFixture f;
    f.openWindow();
    QListWidget* list = f.list("lst_Log");
    for (int i = 1; i <= 1000; ++i) {
        f.window->LogOut(QStringLiteral("行 %1").arg(i));
    }
    QCOMPARE(list->count(), 1000);
    QCOMPARE(f.activity().front(), QStringLiteral("行 1"));
    QCOMPARE(f.activity().back(), QStringLiteral("行 1000"));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d  行 1000$"))
                .match(list->item(999)->text())
                .hasMatch());
    const QRect last = list->visualItemRect(list->item(999));
    QVERIFY(list->viewport()->rect().contains(last));

    const std::size_t logged = f.logged("[INFO]").size();
    f.window->LogOut(QString());
    QCOMPARE(list->count(), 0);
    QCOMPARE(f.logged("[INFO]").size(), logged);
}

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
