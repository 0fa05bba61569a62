#include "ui/main_window.h"

#include <chrono>
#include <cmath>
#include <string>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QThread>
#include <QToolBar>

#include "base/errors.h"
#include "base/text.h"
#include "export/data_file_names.h"
#include "export/data_kinds.h"
#include "export/host_folder.h"
#include "export/selection_check.h"
#include "services/activity.h"
#include "services/core_context.h"
#include "services/ini_file.h"
#include "services/start_up.h"
#include "ui/about_window.h"
#include "ui/artwork.h"
#include "ui/dialogs.h"
#include "ui/look.h"
#include "ui/qt_text.h"
#include "ui/qt_user_interface.h"
#include "web/member_server.h"

namespace kestrova::ui {

namespace {

constexpr const char* kTag = "frmTFLink";
constexpr double kFontPoints = 11.25;
constexpr double kExportButtonPoints = 14.25;
// The designed client area, in twips.
constexpr int kClientWidth = 14565;
constexpr int kClientHeight = 9330;
// Below the designed area: the progress of an export and its stop button.
constexpr int kStatusHeight = 28;
constexpr std::uint32_t kRed = 0x000000FF;
constexpr std::uint32_t kOrange = 0x000080FF;
constexpr std::uint32_t kGreen = 0x0000C000;
constexpr std::size_t kThisWeekCodeLength = 13;
constexpr std::size_t kKindCodeLength = 3;

const QString kStopAndQuitQuestion = QStringLiteral(
    "出力処理を実行中です。\r\n\r\n出力中のファイルを書き終えたところで中止して、終了しますか？");

std::string tag(std::string_view procedure) {
    return std::string(kTag) + ":" + std::string(procedure);
}

/// A rectangle drawn with a one-pixel border, as the window's shapes are.
class ShapeFrame : public QWidget {
  public:
    ShapeFrame(QWidget* parent, QColor colour) : QWidget(parent), colour_(colour) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(QPen(colour_, 1));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }

  private:
    QColor colour_;
};

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QFont& font,
                  QColor colour) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setFont(font);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

/// A note written for the Windows fonts may run a little wider in the fonts that stand in
/// for them; it is set closer rather than wrapped onto the note below it.
void fitToWidth(QLabel* label) {
    QFont font = label->font();
    const int advance = QFontMetrics(font).horizontalAdvance(label->text());
    if (advance <= label->width()) {
        return;
    }
    constexpr double kTightest = 85.0;
    font.setLetterSpacing(QFont::PercentageSpacing,
                          std::max(kTightest, std::floor(100.0 * label->width() / advance)));
    label->setFont(font);
    label->setWordWrap(false);
}

QListWidget* makeList(QWidget* parent, const char* name, const QFont& font) {
    auto* list = new QListWidget(parent);
    list->setObjectName(QLatin1String(name));
    list->setFont(font);
    list->setSelectionMode(QAbstractItemView::MultiSelection);
    list->setUniformItemSizes(true);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return list;
}

/// A list entry made of its visible text, the gap of spaces and its code: the list shows
/// the text, the code travels in kHiddenCodeRole.
QListWidgetItem* codedEntry(const std::string& entry, std::size_t codeLength) {
    const auto gap = entry.find(std::string(kHiddenCodeGap, ' '));
    auto* item = new QListWidgetItem(qtText(std::string_view(entry).substr(0, gap)));
    item->setData(kHiddenCodeRole, qtText(hiddenItemCode(entry, codeLength)));
    return item;
}

void addCodedEntry(QListWidget* list, const std::string& entry, std::size_t codeLength) {
    list->addItem(codedEntry(entry, codeLength));
}

QString codeOf(const QListWidgetItem* item) {
    return item->data(kHiddenCodeRole).toString();
}

std::vector<std::string> selectedCodes(const QListWidget* list) {
    std::vector<std::string> codes;
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->isSelected()) {
            codes.push_back(utf8Text(codeOf(list->item(row))));
        }
    }
    return codes;
}

bool anySelected(const QListWidget* list) {
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->isSelected()) {
            return true;
        }
    }
    return false;
}

/// "1" per selected entry, "0" per other entry, in list order.
std::string selectionString(const QListWidget* list) {
    std::string text;
    for (int row = 0; row < list->count(); ++row) {
        text += list->item(row)->isSelected() ? '1' : '0';
    }
    return text;
}

void makeFirstCurrent(QListWidget* list) {
    if (list->count() > 0) {
        list->selectionModel()->setCurrentIndex(list->model()->index(0, 0),
                                                QItemSelectionModel::NoUpdate);
    }
}

std::chrono::year_month_day calendarDay(const QDate& date) {
    return std::chrono::year{date.year()} /
           std::chrono::month{static_cast<unsigned>(date.month())} /
           std::chrono::day{static_cast<unsigned>(date.day())};
}

/// True when enough of the title bar of a window at `frame` lies on a screen to grab it.
bool reachable(const QRect& frame) {
    constexpr int kTitleHeight = 24;
    constexpr int kGrabWidth = 100;
    const QRect titleBar(frame.left(), frame.top(), frame.width(), kTitleHeight);
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect visible = titleBar.intersected(screen->availableGeometry());
        if (visible.width() >= kGrabWidth && visible.height() >= kTitleHeight / 2) {
            return true;
        }
    }
    return false;
}

QString clockText(qint64 milliseconds) {
    const qint64 seconds = milliseconds / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

/// The export's progress, reported on the worker and shown on the GUI thread.
class frmTFLink::Progress : public ExportProgress {
  public:
    explicit Progress(frmTFLink& window) : window_(&window) {}

    void runStarted(std::size_t plannedFiles) override {
        post([w = window_, plannedFiles] { w->progressStarted(plannedFiles); });
    }
    void fileStarted(std::string_view, std::size_t index) override {
        post([w = window_, index] { w->progressFile(index); });
    }
    void dayFinished(std::string_view, std::int64_t filesWritten) override {
        post([w = window_, filesWritten] { w->progressFiles(filesWritten); });
    }
    void runEnded(const ExportResult& result) override {
        post([w = window_, result] { w->progressEnded(result); });
    }
    bool stopRequested() override { return stop.load(); }

    std::atomic<bool> stop = false;
    /// Written by the worker as its last act; read after it has been joined.
    ExportResult result;

  private:
    template <class Call>
    void post(Call call) {
        QMetaObject::invokeMethod(window_, std::move(call), Qt::QueuedConnection);
    }

    frmTFLink* window_;
};

frmTFLink::frmTFLink(MainWindowSetup setup, QWidget* parent)
    : QWidget(parent),
      log_(setup.log),
      appFolder_(std::move(setup.appFolder)),
      settings_(std::move(setup.settings)),
      today_(std::move(setup.today)),
      ui_(new QtUserInterface(this)) {
    setObjectName(QStringLiteral("frmTFLink"));
    setWindowTitle(QStringLiteral("Kestrova"));
    ui_->setWindow(this);
    buildControls();
    buildStatusArea();
    connect(ui_, &QtUserInterface::activityCleared, lst_Log, &QListWidget::clear);
    connect(ui_, &QtUserInterface::activityAdded, this, [this](const QString& line) {
        auto* item = new QListWidgetItem(line, lst_Log);
        // A line wider than the list is cut short (uniform sizes keep a long run fast); it
        // shows whole on hover.
        if (lst_Log->fontMetrics().horizontalAdvance(line) > lst_Log->viewport()->width()) {
            item->setToolTip(line);
        }
        lst_Log->scrollToBottom();
    });
    clock_.setInterval(500);
    connect(&clock_, &QTimer::timeout, this, &frmTFLink::showProgressText);
    midnight_.setParent(this);  // found by its name; destroyed as a member, before the window
    midnight_.setObjectName(QStringLiteral("midnight"));
    midnight_.setSingleShot(true);
    connect(&midnight_, &QTimer::timeout, this, [this] {
        refreshPastYears();
        scheduleYearCheck();
    });
}

frmTFLink::~frmTFLink() {
    // Neither worker may outlive the window it reports to.
    if (progress_) {
        progress_->stop = true;
    }
    stopLoad_ = true;
    ui_->silence();
    // Their finished slots would delete the threads while they are waited for here.
    for (QThread* worker : {exportThread_.get(), loadThread_.get()}) {
        if (worker) {
            disconnect(worker, nullptr, this, nullptr);
        }
    }
    // A worker may be waiting for the GUI thread (a message box it asked for): keep serving it.
    for (const auto* worker : {&exportThread_, &loadThread_}) {
        while (*worker && !(*worker)->wait(10)) {
            QCoreApplication::processEvents();
        }
    }
    if (waitCursor_) {
        QApplication::restoreOverrideCursor();
    }
}

void frmTFLink::buildControls() {
    const double dpi = screenDpi(this);
    const QFont fixed = fixedPitchFont(kFontPoints);
    const QFont proportional = proportionalFont(kFontPoints);
    setFont(proportional);
    const QSize client(twipsToPixels(kClientWidth, dpi), twipsToPixels(kClientHeight, dpi));
    setFixedSize(client.width(), client.height() + kStatusHeight);

    // Decoration first: whatever is made later lies on top of it.
    auto* Shape4 = new ShapeFrame(this, colourFromBgr(kRed));
    Shape4->setObjectName(QStringLiteral("Shape4"));
    placeAt(Shape4, 5160, 840, 9255, 1935, dpi);
    auto* Shape3 = new ShapeFrame(this, colourFromBgr(kOrange));
    Shape3->setObjectName(QStringLiteral("Shape3"));
    placeAt(Shape3, 5160, 2880, 9255, 3255, dpi);
    auto* Shape2 = new ShapeFrame(this, colourFromBgr(kGreen));
    Shape2->setObjectName(QStringLiteral("Shape2"));
    placeAt(Shape2, 5160, 6240, 9255, 1095, dpi);

    const QColor barColour(0x24, 0x48, 0x7C);
    for (const auto& [name, top] : {std::pair{"Label2", 840}, std::pair{"Label1", 4080}}) {
        auto* bar = new QLabel(this);
        bar->setObjectName(QLatin1String(name));
        bar->setAutoFillBackground(true);
        QPalette palette = bar->palette();
        palette.setColor(QPalette::Window, barColour);
        bar->setPalette(palette);
        placeAt(bar, 120, top, 4935, 495, dpi);
    }
    lbl_TTL1 =
        makeLabel(this, "lbl_TTL1", QStringLiteral("　開催日データ選択"), proportional, Qt::white);
    placeAt(lbl_TTL1, 120, 960, 4215, 375, dpi);
    lbl_TTL2 = makeLabel(this, "lbl_TTL2", QStringLiteral("　データ（指数）選択"), proportional,
                         Qt::white);
    placeAt(lbl_TTL2, 120, 4200, 4935, 495, dpi);

    struct Note {
        int index;
        const char16_t* text;
        std::uint32_t colour;
        int left, top, width, height;
    };
    const Note notes[] = {
        {3, u"● 開催日データ選択について", kRed, 5280, 960, 7365, 495},
        {4, u"※ 『過去データ』と『今週データ』は同時選択できません。", 0, 5280, 1320, 9045, 495},
        {7, u"※ 『過去データ』の最新は毎週木曜日に更新されます。", 0, 5280, 1680, 9045, 495},
        {5,
         u"※ 『過去データ』の出力にはご利用の環境により異なりますが、数十分から数時間かかります。",
         0, 5280, 2040, 7605, 495},
        {6, u"※ 『過去データ』は複数選択できません、必要な開始年を選択して下さい。", 0, 5280, 2400,
         7605, 495},
        {1, u"● 予想／結果コメント出力データ選択", kOrange, 5280, 3000, 6045, 375},
        {2, u"※ 極軸は『2015年1月～』 の", kRed, 11400, 3480, 2925, 495},
        {0, u"    『過去データ』のみの出力と", kRed, 11280, 3720, 2925, 495},
        {8, u"    なります。", kRed, 11280, 3960, 2925, 495},
    };
    for (const Note& note : notes) {
        const std::string name = "Lbl_Help_" + std::to_string(note.index);
        QLabel* label = makeLabel(this, name.c_str(), QString::fromUtf16(note.text), proportional,
                                  colourFromBgr(note.colour));
        placeAt(label, note.left, note.top, note.width, note.height, dpi);
        fitToWidth(label);
        Lbl_Help[static_cast<std::size_t>(note.index)] = label;
    }

    ToBar1 = new QToolBar(this);
    ToBar1->setObjectName(QStringLiteral("ToBar1"));
    ToBar1->setMovable(false);
    ToBar1->setFloatable(false);
    ToBar1->setIconSize(QSize(24, 24));
    placeAt(ToBar1, 0, 0, kClientWidth, 615, dpi);

    cmd_TFJVOut = new QPushButton(this);
    cmd_TFJVOut->setObjectName(QStringLiteral("cmd_TFJVOut"));
    cmd_TFJVOut->setFont(proportionalFont(kExportButtonPoints));
    cmd_TFJVOut->setToolTip(QStringLiteral("[TARGET frontier JV]にデータを出力します"));
    placeAt(cmd_TFJVOut, 11280, 50, 2055, 530, dpi);
    connect(cmd_TFJVOut, &QPushButton::clicked, this, &frmTFLink::cmd_TFJVOut_Click);

    lst_ThisW = makeList(this, "lst_ThisW", fixed);
    placeAt(lst_ThisW, 120, 1320, 4935, 2610, dpi);

    cmd_On = new QPushButton(QStringLiteral("全てオン"), this);
    cmd_On->setObjectName(QStringLiteral("cmd_On"));
    placeAt(cmd_On, 2520, 4155, 1000, 350, dpi);
    connect(cmd_On, &QPushButton::clicked, this, &frmTFLink::cmd_On_Click);
    cmd_Off = new QPushButton(QStringLiteral("全てオフ"), this);
    cmd_Off->setObjectName(QStringLiteral("cmd_Off"));
    placeAt(cmd_Off, 3840, 4155, 1000, 350, dpi);
    connect(cmd_Off, &QPushButton::clicked, this, &frmTFLink::cmd_Off_Click);

    lst_DataSel = makeList(this, "lst_DataSel", fixed);
    placeAt(lst_DataSel, 120, 4560, 4935, 4650, dpi);
    lst_YKcom = makeList(this, "lst_YKcom", proportional);
    placeAt(lst_YKcom, 5280, 3360, 6015, 2610, dpi);

    Fra_TFJVOut = new QGroupBox(QStringLiteral("TARGET frontier JV 出力設定"), this);
    Fra_TFJVOut->setObjectName(QStringLiteral("Fra_TFJVOut"));
    QPalette framePalette = Fra_TFJVOut->palette();
    framePalette.setColor(QPalette::WindowText, colourFromBgr(kGreen));
    Fra_TFJVOut->setPalette(framePalette);
    placeAt(Fra_TFJVOut, 5280, 6360, 9015, 855, dpi);
    lblTFJVTLT = makeLabel(Fra_TFJVOut, "lblTFJVTLT",
                           QStringLiteral("TARGET frontier JVがインストールされてるフォルダ"),
                           fixed, Qt::black);
    placeAt(lblTFJVTLT, 120, 360, 5895, 255, dpi);
    txt_TFJVPath = new QLineEdit(QStringLiteral("C:\\TFJV"), Fra_TFJVOut);
    txt_TFJVPath->setObjectName(QStringLiteral("txt_TFJVPath"));
    txt_TFJVPath->setFont(fixed);
    txt_TFJVPath->setPalette(palette());
    placeAt(txt_TFJVPath, 6000, 280, 1815, 375, dpi);
    // The box is narrow: the whole path shows on hover.
    connect(txt_TFJVPath, &QLineEdit::textChanged, txt_TFJVPath, &QLineEdit::setToolTip);
    cmd_TFJV_SGN = new QPushButton(Fra_TFJVOut);
    cmd_TFJV_SGN->setObjectName(QStringLiteral("cmd_TFJV_SGN"));
    cmd_TFJV_SGN->setToolTip(
        QStringLiteral("[TARGET frontier JV]がインストールされてるフォルダを指定して下さい"));
    cmd_TFJV_SGN->setIcon(QIcon(folderPicture(24)));
    cmd_TFJV_SGN->setIconSize(QSize(24, 24));
    cmd_TFJV_SGN->setPalette(palette());
    placeAt(cmd_TFJV_SGN, 7920, 240, 975, 495, dpi);
    connect(cmd_TFJV_SGN, &QPushButton::clicked, this, &frmTFLink::cmd_TFJV_SGN_Click);

    lst_Log = new QListWidget(this);
    lst_Log->setObjectName(QStringLiteral("lst_Log"));
    lst_Log->setFont(fixed);
    lst_Log->setUniformItemSizes(true);
    lst_Log->setSelectionMode(QAbstractItemView::SingleSelection);
    placeAt(lst_Log, 5160, 7560, 9255, 1635, dpi);
}

void frmTFLink::buildStatusArea() {
    const double dpi = screenDpi(this);
    const int top = twipsToPixels(kClientHeight, dpi);
    const int margin = twipsToPixels(120, dpi);

    cmd_Stop = new QPushButton(QStringLiteral("中止"), this);
    cmd_Stop->setObjectName(QStringLiteral("cmd_Stop"));
    cmd_Stop->setToolTip(
        QStringLiteral("出力中のファイルを書き終えたところで出力処理を中止します"));
    cmd_Stop->setEnabled(false);
    cmd_Stop->setGeometry(width() - margin - 80, top, 80, kStatusHeight - 4);
    connect(cmd_Stop, &QPushButton::clicked, this, &frmTFLink::cmd_Stop_Click);

    prg_Export = new QProgressBar(this);
    prg_Export->setObjectName(QStringLiteral("prg_Export"));
    prg_Export->setTextVisible(false);
    prg_Export->setGeometry(margin, top + 4, twipsToPixels(4935, dpi), kStatusHeight - 12);
    prg_Export->hide();

    lbl_Progress = new QLabel(this);
    lbl_Progress->setObjectName(QStringLiteral("lbl_Progress"));
    lbl_Progress->setGeometry(twipsToPixels(5160, dpi), top, cmd_Stop->x() - 8 - 344,
                              kStatusHeight - 4);
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

    lst_ThisW->clear();
    refreshPastYears();
    scheduleYearCheck();

    lst_YKcom->clear();
    for (std::size_t position = 0; position < kCommentEntryCount; ++position) {
        const std::string code(kCommentKindCodes[position / 2]);
        addCodedEntry(lst_YKcom,
                      commentEntryText(position) + std::string(kHiddenCodeGap, ' ') + code,
                      kKindCodeLength);
    }
    lst_DataSel->clear();
    for (std::size_t kind = kFirstIndexKind; kind < kDataKindCount; ++kind) {
        addCodedEntry(lst_DataSel,
                      indexEntryText(kind) + std::string(kHiddenCodeGap, ' ') +
                          std::string(DataKindCodes[kind]),
                      kKindCodeLength);
    }

    int alignment = 2;
    PaintButtonCaption(*cmd_TFJVOut, QStringLiteral("TFJV 出力"), kGreen, alignment, 1);
    txt_TFJVPath->clear();
    restoreSettings();
    startThisWeekDiscovery();
}

void frmTFLink::refreshPastYears() {
    // Past entries come first, one per year, oldest first; this week's days follow them.
    int pastEntries = 0;
    while (pastEntries < lst_ThisW->count() &&
           codeOf(lst_ThisW->item(pastEntries)).size() == kMonthTemplateLength) {
        ++pastEntries;
    }
    const auto templates = makeMonthFileTemplates(today_().year());
    for (std::size_t year = static_cast<std::size_t>(pastEntries); year < templates.size();
         ++year) {
        lst_ThisW->insertItem(pastEntries++,
                              codedEntry(pastDataEntry(templates[year]), kThisWeekCodeLength));
    }
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
    ToBar1->clear();
    struct Button {
        const char* key;
        const char* image;
        const char16_t* tip;
    };
    auto addButton = [this](const Button& button) {
        QAction* action = ToBar1->addAction(toolbarImage(QLatin1String(button.image)), QString());
        action->setObjectName(QLatin1String(button.key));
        action->setToolTip(QString::fromUtf16(button.tip));
        action->setStatusTip(action->toolTip());
        const QString key = QLatin1String(button.key);
        connect(action, &QAction::triggered, this, [this, key] { ToBar1_ButtonClick(key); });
    };
    addButton({"End", "I_END", u"終了"});
    // Separators 2 to 5 set the quit button apart: one wide gap rather than four lines.
    auto* gap = new QWidget(ToBar1);
    gap->setObjectName(QStringLiteral("ToBar1_Gap"));
    gap->setFixedWidth(4 * ToBar1->style()->pixelMetric(QStyle::PM_ToolBarSeparatorExtent));
    ToBar1->addWidget(gap);
    addButton({"VarInfo", "I_INFO", u"バージョン＆ユーザー情報"});
    ToBar1->addSeparator();
    addButton({"Help", "I_HELP", u"オンラインヘルプ"});
    ToBar1->addSeparator();
    addButton({"Help2", "I_HELP2", u"データ解説書"});
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
    const auto file = iniFile();
    restorePosition();
    txt_TFJVPath->setText(qtText(readIniText(file, "USE_OPT1", "TFJV_Path")));

    const QString kinds = qtText(readIniText(file, "USE_OPT1", "TFJV_DTSL"));
    constexpr int kKindsLength = 50;
    constexpr int kKindsPrefix = 3;
    if (kinds.size() == kKindsLength) {
        for (int i = kKindsPrefix; i < kKindsLength && i - kKindsPrefix < lst_DataSel->count();
             ++i) {
            lst_DataSel->item(i - kKindsPrefix)->setSelected(kinds[i] == QLatin1Char('1'));
        }
        makeFirstCurrent(lst_DataSel);
    }
    const QString comments = qtText(readIniText(file, "USE_OPT1", "TFJV_YSCM"));
    if (comments.size() == static_cast<qsizetype>(kCommentEntryCount)) {
        for (int k = 0; k < lst_YKcom->count(); ++k) {
            lst_YKcom->item(k)->setSelected(comments[k] == QLatin1Char('1'));
        }
        makeFirstCurrent(lst_YKcom);
    }
}

void frmTFLink::restorePosition() {
    const double dpi = screenDpi(this);
    QPoint position = pos();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        position = screen->availableGeometry().center() - QPoint(width() / 2, height() / 2);
        position.setX(std::max(position.x(), screen->availableGeometry().left()));
        position.setY(std::max(position.y(), screen->availableGeometry().top()));
    }
    const QPoint designed = position;
    const auto file = iniFile();
    for (const char* key : {"M_Top", "M_Left"}) {
        const std::string text = readIniText(file, "SYS_ENV", key);
        if (text.empty()) {
            continue;
        }
        bool number = false;
        const double twips = qtText(text).toDouble(&number);
        if (!number || !std::isfinite(twips)) {
            // Not worth an unusable window: the designed position serves as well.
            log_.WarnLog(errorText(tag("InitF"), std::string(key) + " の値「" + text +
                                                     "」は数値ではありません。設計時の位置で"
                                                     "表示します。"));
            move(designed);
            return;
        }
        const int pixels = twipsToPixels(twips, dpi);
        (std::string_view(key) == "M_Top" ? position.ry() : position.rx()) = pixels;
    }
    if (!reachable(QRect(position, frameGeometry().size()))) {
        log_.InfoLog(tag("InitF") + ": 保存された位置（" + std::to_string(position.x()) + ", " +
                     std::to_string(position.y()) +
                     "）はどの画面にもないため、設計時の位置で表示します。");
        position = designed;
    }
    move(position);
}

void frmTFLink::startThisWeekDiscovery() {
    lst_ThisW->setEnabled(false);
    cmd_TFJVOut->setEnabled(false);
    lbl_Progress->setText(QStringLiteral("今週の開催日を確認しています..."));
    stopLoad_ = false;
    loadThread_.reset(QThread::create([this] {
        CoreContext ctx(log_, *ui_, settings_);
        // Closing the window during the discovery ends the request that is waiting.
        ctx.http.breathe = [this] {
            if (stopLoad_) {
                throw StopRequested();
            }
        };
        try {
            week_ = thisWeekDays(ctx);
        } catch (const StopRequested&) {
            // The window is closing: nothing failed.
        } catch (const std::exception& error) {
            log_.ErrorLog(errorText(tag("GetKaisaiDay"), describeError(error)));
        }
    }));
    connect(loadThread_.get(), &QThread::finished, this, &frmTFLink::thisWeekLoaded);
    loadThread_->start();
}

void frmTFLink::thisWeekLoaded() {
    loadThread_->wait();
    loadThread_.reset();
    lbl_Progress->clear();
    if (closeWhenIdle_) {
        close();
        return;
    }
    if (week_.checkFailed) {
        InfoBox(qtText(kCheckFailedNotice), {}, false, this);
        abandoned_ = true;
        emit loadAbandoned();
        close();
        return;
    }
    for (const OfferedDay& day : week_.days) {
        addCodedEntry(lst_ThisW, thisWeekEntry(day.dayText, day.fileName), kThisWeekCodeLength);
    }
    // This week's days and the recent years are what a user comes for; 2010 can scroll.
    lst_ThisW->scrollToBottom();
    // A week whose days could not be learnt is not a week without meetings: say so.
    for (const std::string& problem : week_.problems) {
        LogOut(qtText(problem));
    }
    if (week_.discoveryFailed) {
        LogOut(qtText(kDiscoveryFailed));
    } else if (!week_.problems.empty()) {
        LogOut(qtText(kDiscoveryIncomplete));
    }
    lst_ThisW->setEnabled(true);
    cmd_TFJVOut->setEnabled(true);
    loaded_ = true;
    emit loaded();
}

bool frmTFLink::lst_ThisW_Chk() {
    log_.TraceLog(tag("lst_ThisW_Chk"));
    SelectionCheckInput input;
    input.thisWeekCodes = selectedCodes(lst_ThisW);
    input.anyDataKind = anySelected(lst_DataSel);
    input.anyComment = anySelected(lst_YKcom);
    check_ = kestrova::lst_ThisW_Chk(input);
    if (check_.ok) {
        return true;
    }
    InfoBox(qtText(check_.message), {}, false, this);
    if (check_.focus == SelectionFocus::ThisWeekList) {
        lst_ThisW->setFocus();
    } else if (check_.focus == SelectionFocus::DataKindList) {
        lst_DataSel->setFocus();
    }
    return false;
}

void frmTFLink::cmd_On_Click() {
    log_.InfoLog(tag("cmd_On_Click"));
    lst_DataSel->selectAll();
    makeFirstCurrent(lst_DataSel);
}

void frmTFLink::cmd_Off_Click() {
    log_.InfoLog(tag("cmd_Off_Click"));
    lst_DataSel->clearSelection();
    makeFirstCurrent(lst_DataSel);
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
    txt_TFJVPath->setText(chosen);
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
    for (const auto& code : selectedCodes(lst_ThisW)) {
        if (code.size() == kDayFileNameLength) {
            selection.dayPages.push_back(code);
        }
    }
    selection.indexCodes = selectedCodes(lst_DataSel);
    for (int k = 0; k < lst_YKcom->count() && k < static_cast<int>(kCommentEntryCount); ++k) {
        selection.commentEntries[static_cast<std::size_t>(k)] = lst_YKcom->item(k)->isSelected();
    }
    selection.hostFolder = filePath(txt_TFJVPath->text());
    selection.today = calendarDay(today_());
    pastData_ = selection.ThisWeekMode == 0;

    setExporting(true);
    progress_ = std::make_unique<Progress>(*this);
    // The worker gets copies of everything it reads, and its own run state: nothing it
    // touches is the window's but the progress it reports to.
    ExportJob job{.selection = std::move(selection),
                  .appFolder = appFolder_,
                  .useCache = settings_.dataCache,
                  .confirm = true};
    exportThread_.reset(QThread::create([&log = log_, ui = ui_, settings = settings_,
                                         progress = progress_.get(), job = std::move(job)] {
        CoreContext ctx(log, *ui, settings);
        progress->result = runExportJob(ctx, job, progress);
    }));
    connect(exportThread_.get(), &QThread::finished, this, &frmTFLink::exportEnded);
    exportThread_->start();
}

void frmTFLink::cmd_Stop_Click() {
    if (!progress_ || !isExporting() || progress_->stop) {
        return;
    }
    log_.InfoLog(tag("cmd_Stop_Click"));
    progress_->stop = true;
    cmd_Stop->setEnabled(false);
    lbl_Progress->setText(QStringLiteral("出力中のファイルを書き終えたところで中止します..."));
}

void frmTFLink::setExporting(bool running) {
    for (QWidget* control :
         std::initializer_list<QWidget*>{cmd_TFJVOut, lst_ThisW, lst_DataSel, lst_YKcom, cmd_On,
                                         cmd_Off, txt_TFJVPath, cmd_TFJV_SGN}) {
        control->setEnabled(!running);
    }
    // The stop button waits for the run itself: not during the confirmations.
    cmd_Stop->setEnabled(false);
    if (!running) {
        // The line keeps the last run's final figures until the next run.
        clock_.stop();
        prg_Export->hide();
    }
}

void frmTFLink::exportEnded() {
    exportThread_->wait();
    exportThread_.reset();
    lastResult_ = progress_->result;
    setExporting(false);
    if (lastResult_.outcome == ExportOutcome::Stopped && !closeWhenIdle_) {
        InfoBox(QStringLiteral("出力処理を中止しました。"), {}, false, this);
    }
    emit exportFinished(lastResult_.outcome);
    if (closeWhenIdle_) {
        close();
    }
}

void frmTFLink::progressStarted(std::size_t plannedFiles) {
    if (!waitCursor_) {
        // Busy, not blocked: the stop button still takes clicks.
        QApplication::setOverrideCursor(Qt::BusyCursor);
        waitCursor_ = true;
    }
    cmd_Stop->setEnabled(true);
    plannedFiles_ = plannedFiles;
    filesDone_ = 0;
    filesWritten_ = 0;
    prg_Export->setRange(0, static_cast<int>(std::max<std::size_t>(plannedFiles, 1)));
    prg_Export->setValue(0);
    prg_Export->show();
    elapsed_.start();
    elapsedMs_ = 0;
    clock_.start();
    showProgressText();
}

void frmTFLink::progressFile(std::size_t index) {
    filesDone_ = index;
    prg_Export->setValue(static_cast<int>(index));
    showProgressText();
}

void frmTFLink::progressFiles(std::int64_t filesWritten) {
    filesWritten_ = filesWritten;
}

void frmTFLink::progressEnded(const ExportResult& result) {
    clock_.stop();
    if (waitCursor_) {
        QApplication::restoreOverrideCursor();
        waitCursor_ = false;
    }
    cmd_Stop->setEnabled(false);
    if (!prg_Export->isVisible()) {
        return;  // the run never began (refused, or another run holds the folder)
    }
    // The last box may stay up for a while: the line under it has the run's final figures.
    if (elapsed_.isValid()) {
        elapsedMs_ = elapsed_.elapsed();
        elapsed_.invalidate();
    }
    filesWritten_ = result.filesWritten;
    if (result.outcome == ExportOutcome::Finished) {
        // A past-data run ends at the newest month the server has: what it read was its whole.
        filesDone_ = result.filesRead;
        plannedFiles_ = filesDone_;
    } else {
        filesDone_ = result.periodsWritten;
    }
    prg_Export->setRange(0, static_cast<int>(std::max<std::size_t>(plannedFiles_, 1)));
    prg_Export->setValue(static_cast<int>(filesDone_));
    lbl_Progress->setText((result.outcome == ExportOutcome::Finished ? QStringLiteral("完了　")
                                                                     : QStringLiteral("中止　")) +
                          progressText());
}

QString frmTFLink::progressText() const {
    const QString unit = pastData_ ? QStringLiteral("か月") : QStringLiteral("日");
    return QStringLiteral("%1 / %2 %3　書き込んだファイル %4 件　経過 %5")
        .arg(filesDone_)
        .arg(plannedFiles_)
        .arg(unit)
        .arg(filesWritten_)
        .arg(clockText(elapsedMs_));
}

void frmTFLink::showProgressText() {
    if (!isExporting() || !prg_Export->isVisible() || (progress_ && progress_->stop)) {
        return;
    }
    elapsedMs_ = elapsed_.elapsed();
    lbl_Progress->setText(progressText());
}

void frmTFLink::LogOut(const QString& message) {
    kestrova::LogOut(*ui_, log_, utf8Text(message));
}

void frmTFLink::PaintButtonCaption(QPushButton& button, const QString& caption,
                                   std::uint32_t colour, int& alignment, int coloured) {
    button.setText(QString());
    const double dpr = button.devicePixelRatioF();
    // Picture1: the invisible drawing surface, of the button's size.
    QPixmap Picture1(button.size() * dpr);
    Picture1.setDevicePixelRatio(dpr);
    QFont font = proportionalFont(button.font().pointSizeF());
    font.setFamilies(button.font().families());
    font.setItalic(button.font().italic());
    font.setUnderline(button.font().underline());
    QColor fore = Qt::black;
    if (coloured != 0) {
        fore = Qt::white;
        Picture1.fill(colourFromBgr(colour));
        font.setBold(true);
    } else {
        Picture1.fill(button.palette().color(QPalette::Button));
        font.setBold(button.font().bold());
    }
    if (alignment != 1 && alignment != 2) {
        alignment = 0;
    }
    const QFontMetrics metrics(font);
    const int textWidth = metrics.horizontalAdvance(caption);
    const int margin = twipsToPixels(100, screenDpi(&button));
    int x = margin;
    if (alignment == 1) {
        x = button.width() - textWidth - margin;
    } else if (alignment == 2) {
        x = (button.width() - textWidth) / 2;
    }
    const int y = (button.height() - metrics.height()) / 2;
    {
        QPainter painter(&Picture1);
        painter.setFont(font);
        painter.setPen(fore);
        painter.drawText(x, y + metrics.ascent(), caption);
    }
    button.setIcon(QIcon(Picture1));
    button.setIconSize(button.size());
}

void frmTFLink::closeEvent(QCloseEvent* event) {
    if (isExporting()) {
        event->ignore();
        askToStopForClose();
        return;
    }
    if (loadThread_) {
        // The discovery reports to this window: end it first, then close.
        event->ignore();
        closeWhenIdle_ = true;
        stopLoad_ = true;
        ui_->silence();
        setEnabled(false);
        lbl_Progress->setText(QStringLiteral("終了しています..."));
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
    progress_->stop = true;
    cmd_Stop->setEnabled(false);
    lbl_Progress->setText(
        QStringLiteral("出力中のファイルを書き終えたところで中止して終了します..."));
    return true;
}

void frmTFLink::Form_Unload() {
    log_.InfoLog(tag("Form_Unload"));
    try {
        const auto file = iniFile();
        const double dpi = screenDpi(this);
        const auto twipsText = [dpi](int pixels) {
            return std::to_string(std::lround(pixelsToTwips(pixels, dpi)));
        };
        WriteIniSetting(file, "SYS_ENV", "M_Top", twipsText(pos().y()));
        WriteIniSetting(file, "SYS_ENV", "M_Left", twipsText(pos().x()));
        WriteIniSetting(file, "USE_OPT1", "TFJV_Path", utf8Text(txt_TFJVPath->text()));
        WriteIniSetting(file, "USE_OPT1", "TFJV_DTSL", "000" + selectionString(lst_DataSel));
        WriteIniSetting(file, "USE_OPT1", "TFJV_YSCM", selectionString(lst_YKcom));
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
