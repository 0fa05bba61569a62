#include "ui/main_window.h"

#include <chrono>
#include <string>

#include <QAction>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolBar>

#include "base/atomic_file.h"
#include "base/errors.h"
#include "export/data_file_names.h"
#include "export/host_folder.h"
#include "services/activity.h"
#include "services/program_texts.h"
#include "ui/about_window.h"
#include "ui/coded_list.h"
#include "ui/dialogs.h"
#include "ui/look.h"
#include "ui/qt_text.h"
#include "ui/qt_user_interface.h"
#include "ui/window_settings.h"
#include "web/member_server.h"

namespace kestrova::ui {

namespace {

constexpr const char* kTag = "frmTFLink";
constexpr std::uint32_t kGreen = 0x0000C000;

const QString kStopAndQuitQuestion = QStringLiteral(
    "出力処理を実行中です。\r\n\r\n出力中のファイルを書き終えたところで中止して、終了しますか？");

std::string tag(std::string_view procedure) {
    return std::string(kTag) + ":" + std::string(procedure);
}

std::chrono::year_month_day calendarDay(const QDate& date) {
    return std::chrono::year{date.year()} /
           std::chrono::month{static_cast<unsigned>(date.month())} /
           std::chrono::day{static_cast<unsigned>(date.day())};
}

}  // namespace

frmTFLink::frmTFLink(MainWindowSetup setup, QWidget* parent)
    : QWidget(parent),
      log_(setup.log),
      appFolder_(std::move(setup.appFolder)),
      settings_(std::move(setup.settings)),
      today_(std::move(setup.today)),
      ui_(new QtUserInterface(this)),
      controls_(buildMainWindowControls(*this)),
      discovery_(log_, *ui_, settings_),
      export_(log_, *ui_, settings_, appFolder_),
      progress_(export_, controls_) {
    setObjectName(QStringLiteral("frmTFLink"));
    setWindowTitle(QStringLiteral("Kestrova"));
    ui_->setWindow(this);
    const MainWindowControls& c = controls_;
    connect(c.cmd_TFJVOut, &QPushButton::clicked, this, &frmTFLink::cmd_TFJVOut_Click);
    connect(c.cmd_On, &QPushButton::clicked, this, &frmTFLink::cmd_On_Click);
    connect(c.cmd_Off, &QPushButton::clicked, this, &frmTFLink::cmd_Off_Click);
    connect(c.cmd_TFJV_SGN, &QPushButton::clicked, this, &frmTFLink::cmd_TFJV_SGN_Click);
    connect(c.cmd_Stop, &QPushButton::clicked, this, &frmTFLink::cmd_Stop_Click);
    connect(ui_, &QtUserInterface::activityCleared, c.lst_Log, &QListWidget::clear);
    connect(ui_, &QtUserInterface::activityAdded, this, [list = c.lst_Log](const QString& line) {
        auto* item = new QListWidgetItem(line, list);
        // A line wider than the list is cut short (uniform sizes keep a long run fast); it
        // shows whole on hover.
        if (list->fontMetrics().horizontalAdvance(line) > list->viewport()->width()) {
            item->setToolTip(line);
        }
        list->scrollToBottom();
    });
    connect(&discovery_, &WeekDiscovery::finished, this, &frmTFLink::thisWeekLoaded);
    connect(&export_, &ExportController::finished, this, &frmTFLink::exportDone);
    midnight_.setParent(this);  // found by its name; destroyed as a member, before the window
    midnight_.setObjectName(QStringLiteral("midnight"));
    midnight_.setSingleShot(true);
    connect(&midnight_, &QTimer::timeout, this, [this] {
        refreshPastYears();
        scheduleYearCheck();
    });
}

frmTFLink::~frmTFLink() {
    // The workers end with their owners (the last members), reporting nothing; a box they
    // ask for meanwhile is not shown.
    ui_->silence();
}

void frmTFLink::Form_Load() {
    log_.InfoLog(tag("Form_Load"));
    try {
        InitF();
    } catch (const std::exception& error) {
        log_.ErrorLog(errorText(tag("Form_Load"), describeError(error)));
    }
}

void frmTFLink::InitF() {
    log_.TraceLog(tag("InitF"));
    ToBar1_SET();
    setWindowTitle(QStringLiteral("Kestrova"));
    controls_.lst_ThisW->clear();
    refreshPastYears();
    scheduleYearCheck();
    coded_list::fillComments(controls_.lst_YKcom);
    coded_list::fillDataKinds(controls_.lst_DataSel);
    int alignment = 2;
    PaintButtonCaption(*controls_.cmd_TFJVOut, QStringLiteral("TFJV 出力"), kGreen, alignment, 1);
    controls_.txt_TFJVPath->clear();
    restoreSettings();
    startThisWeekDiscovery();
}

void frmTFLink::refreshPastYears() {
    coded_list::addPastYears(controls_.lst_ThisW, makeMonthFileTemplates(today_().year()));
}

void frmTFLink::scheduleYearCheck() {
    // A little after midnight, so that the clock has surely turned.
    constexpr qint64 kMargin = 5000;
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime next(now.date().addDays(1), QTime(0, 0));
    midnight_.start(static_cast<int>(now.msecsTo(next) + kMargin));
}

void frmTFLink::ToBar1_SET() {
    log_.TraceLog(tag("ToBar1_SET"));
    for (QAction* action : fillToolbar(*controls_.ToBar1)) {
        connect(action, &QAction::triggered, this,
                [this, key = action->objectName()] { ToBar1_ButtonClick(key); });
    }
}

void frmTFLink::ToBar1_ButtonClick(const QString& key) {
    log_.TraceLog(tag("ToBar1_ButtonClick"));
    if (key == QLatin1String("End")) {
        if (isExporting()) {
            askToStopForClose();
        } else if (QuestionBox(QStringLiteral("終了してよろしいですか？"), {}, false, this) ==
                   static_cast<int>(Answer::Yes)) {
            close();
        }
    } else if (key == QLatin1String("VarInfo")) {
        auto* about = new frmAbout(appFolder_, log_, this);
        about->setAttribute(Qt::WA_DeleteOnClose);
        about->setWindowModality(Qt::ApplicationModal);
        about->show();
    } else if (key == QLatin1String("Help") || key == QLatin1String("Help2")) {
        const int page = key == QLatin1String("Help") ? 1 : 5;
        if (!OpenPage(page, settings_)) {
            const std::string address = pageAddress(page, settings_).value_or(std::string());
            log_.WarnLog(tag("ToBar1_ButtonClick") + ": ブラウザを起動できませんでした。(" +
                         address + ")");
            InfoBox(QStringLiteral("ブラウザを起動できませんでした。\r\n"
                                   "次のアドレスをブラウザで開いて下さい。\r\n\r\n") +
                        qtText(address),
                    {}, false, this);
        }
    }
}

void frmTFLink::restoreSettings() {
    const WindowSettings saved = WindowSettings::load(iniFile(), log_);
    restorePosition(saved);
    controls_.txt_TFJVPath->setText(qtText(saved.hostFolder));
    coded_list::restoreSelection(controls_.lst_DataSel, saved.dataKinds);
    coded_list::restoreSelection(controls_.lst_YKcom, saved.comments);
}

void frmTFLink::restorePosition(const WindowSettings& saved) {
    const double dpi = screenDpi(this);
    const QPoint designed = designedPosition(*this);
    QPoint position = designed;
    if (saved.top) {
        position.setY(twipsToPixels(*saved.top, dpi));
    }
    if (saved.left) {
        position.setX(twipsToPixels(*saved.left, dpi));
    }
    if (position != designed && !reachable(QRect(position, frameGeometry().size()))) {
        log_.InfoLog(tag("InitF") + ": 保存された位置（" + std::to_string(position.x()) + ", " +
                     std::to_string(position.y()) +
                     "）はどの画面にもないため、設計時の位置で表示します。");
        position = designed;
    }
    move(position);
}

void frmTFLink::startThisWeekDiscovery() {
    controls_.lst_ThisW->setEnabled(false);
    controls_.cmd_TFJVOut->setEnabled(false);
    progress_.say(QStringLiteral("今週の開催日を確認しています..."));
    discovery_.start();
}

void frmTFLink::thisWeekLoaded(const ThisWeekDays& week) {
    progress_.say(QString());
    if (closeWhenIdle_) {
        close();
        return;
    }
    if (week.checkFailed) {
        InfoBox(qtText(kCheckFailedNotice), {}, false, this);
        abandoned_ = true;
        emit loadAbandoned();
        close();
        return;
    }
    coded_list::addThisWeek(controls_.lst_ThisW, week.days);
    // This week's days and the recent years are what a user comes for; 2010 can scroll.
    controls_.lst_ThisW->scrollToBottom();
    // A week whose days could not be learnt is not a week without meetings: say so.
    for (const std::string& problem : week.problems) {
        LogOut(qtText(problem));
    }
    if (week.discoveryFailed) {
        LogOut(qtText(kDiscoveryFailed));
    } else if (!week.problems.empty()) {
        LogOut(qtText(kDiscoveryIncomplete));
    }
    controls_.lst_ThisW->setEnabled(true);
    controls_.cmd_TFJVOut->setEnabled(true);
    loaded_ = true;
    emit loaded();
}

bool frmTFLink::lst_ThisW_Chk() {
    log_.TraceLog(tag("lst_ThisW_Chk"));
    SelectionCheckInput input;
    input.thisWeekCodes = coded_list::selectedCodes(controls_.lst_ThisW);
    input.anyDataKind = coded_list::anySelected(controls_.lst_DataSel);
    input.anyComment = coded_list::anySelected(controls_.lst_YKcom);
    check_ = kestrova::lst_ThisW_Chk(input);
    if (check_.ok) {
        return true;
    }
    InfoBox(qtText(check_.message), {}, false, this);
    if (check_.focus == SelectionFocus::ThisWeekList) {
        controls_.lst_ThisW->setFocus();
    } else if (check_.focus == SelectionFocus::DataKindList) {
        controls_.lst_DataSel->setFocus();
    }
    return false;
}

void frmTFLink::cmd_On_Click() {
    log_.InfoLog(tag("cmd_On_Click"));
    controls_.lst_DataSel->selectAll();
    coded_list::makeFirstCurrent(controls_.lst_DataSel);
}

void frmTFLink::cmd_Off_Click() {
    log_.InfoLog(tag("cmd_Off_Click"));
    controls_.lst_DataSel->clearSelection();
    coded_list::makeFirstCurrent(controls_.lst_DataSel);
}

void frmTFLink::cmd_TFJV_SGN_Click() {
    log_.TraceLog(tag("cmd_TFJV_SGN_Click"));
    // Where there is no drive C the user's home is where folders are looked for.
    const QString start =
        QDir(QStringLiteral("C:/")).exists() ? QStringLiteral("C:\\") : QDir::homePath();
    const QString chosen = BrowseFolder(
        this,
        QStringLiteral("[TARGET frontier JV] がインストールされてるフォルダを指定して下さい。"),
        start);
    if (chosen == start) {
        return;
    }
    if (!isHostFolder(filePath(chosen))) {
        InfoBox(qtText(kNotAHostFolder), {}, false, this);
        return;
    }
    controls_.txt_TFJVPath->setText(chosen);
}

void frmTFLink::cmd_TFJVOut_Click() {
    // A second press while a run or the discovery is under way starts nothing.
    if (isExporting() || !loaded_) {
        return;
    }
    log_.InfoLog(tag("cmd_TFJVOut_Click"));
    if (!lst_ThisW_Chk()) {
        return;
    }
    ExportSelection selection;
    selection.ThisWeekMode = check_.ThisWeekMode;
    selection.StartYear = check_.StartYear;
    selection.dayPages = coded_list::selectedDayPages(controls_.lst_ThisW);
    selection.indexCodes = coded_list::selectedCodes(controls_.lst_DataSel);
    selection.commentEntries = coded_list::selectedComments(controls_.lst_YKcom);
    selection.hostFolder = filePath(controls_.txt_TFJVPath->text());
    selection.today = calendarDay(today_());
    setExporting(true);
    export_.start(std::move(selection));
}

void frmTFLink::cmd_Stop_Click() {
    if (!export_.stop()) {
        return;
    }
    log_.InfoLog(tag("cmd_Stop_Click"));
    progress_.stopping(QStringLiteral("出力中のファイルを書き終えたところで中止します..."));
}

void frmTFLink::setExporting(bool running) {
    const MainWindowControls& c = controls_;
    for (QWidget* control :
         std::initializer_list<QWidget*>{c.cmd_TFJVOut, c.lst_ThisW, c.lst_DataSel, c.lst_YKcom,
                                         c.cmd_On, c.cmd_Off, c.txt_TFJVPath, c.cmd_TFJV_SGN}) {
        control->setEnabled(!running);
    }
    progress_.setRunning(running);
}

void frmTFLink::exportDone(const ExportResult& result) {
    setExporting(false);
    if (result.outcome == ExportOutcome::Stopped && !closeWhenIdle_) {
        InfoBox(QStringLiteral("出力処理を中止しました。"), {}, false, this);
    }
    emit exportFinished(result.outcome);
    if (closeWhenIdle_) {
        close();
    }
}

void frmTFLink::LogOut(const QString& message) {
    kestrova::LogOut(*ui_, log_, utf8Text(message));
}

void frmTFLink::PaintButtonCaption(QPushButton& button, const QString& caption,
                                   std::uint32_t colour, int& alignment, int coloured) {
    paintButtonCaption(button, caption, colour, alignment, coloured);
}

void frmTFLink::closeEvent(QCloseEvent* event) {
    if (isExporting()) {
        event->ignore();
        askToStopForClose();
        return;
    }
    if (discovery_.isRunning()) {
        // The discovery reports to this window: end it first, then close.
        event->ignore();
        closeWhenIdle_ = true;
        discovery_.stop();
        ui_->silence();
        setEnabled(false);
        progress_.say(QStringLiteral("終了しています..."));
        return;
    }
    if (!abandoned_ && !unloaded_) {
        Form_Unload();
    }
    event->accept();
}

bool frmTFLink::askToStopForClose() {
    if (closeWhenIdle_) {
        return true;
    }
    if (QuestionBox(kStopAndQuitQuestion, {}, false, this) != static_cast<int>(Answer::Yes)) {
        return false;
    }
    closeWhenIdle_ = true;
    if (!isExporting()) {
        // The run ended while the question was open: nothing is left to wait for.
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        return true;
    }
    log_.InfoLog(tag("closeEvent") + ": 終了の指示により出力処理を中止します。");
    export_.stop();
    progress_.stopping(QStringLiteral("出力中のファイルを書き終えたところで中止して終了します..."));
    return true;
}

void frmTFLink::Form_Unload() {
    log_.InfoLog(tag("Form_Unload"));
    try {
        const double dpi = screenDpi(this);
        WindowSettings settings;
        settings.top = pixelsToTwips(pos().y(), dpi);
        settings.left = pixelsToTwips(pos().x(), dpi);
        settings.hostFolder = utf8Text(controls_.txt_TFJVPath->text());
        settings.dataKinds = coded_list::selectionString(controls_.lst_DataSel);
        settings.comments = coded_list::selectionString(controls_.lst_YKcom);
        // A settings file that cannot be written is no reason to keep the program open.
        if (!settings.save(iniFile())) {
            log_.WarnLog(tag("Form_Unload") + ": 設定ファイルに書き込めませんでした。(" +
                         pathText(iniFile()) + ")");
        }
        log_.InfoLog(kEndedLine);
    } catch (const std::exception& error) {
        log_.ErrorLog(errorText(tag("Form_Unload"), describeError(error)));
    }
    unloaded_ = true;
}

std::filesystem::path frmTFLink::iniFile() const {
    return settingsFile(appFolder_);
}

}  // namespace kestrova::ui
