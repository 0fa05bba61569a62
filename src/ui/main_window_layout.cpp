#include "ui/main_window_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>

#include <QAction>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QToolBar>

#include "ui/artwork.h"
#include "ui/look.h"

namespace kestrova::ui {

namespace {

constexpr double kFontPoints = 11.25;
constexpr double kExportButtonPoints = 14.25;
constexpr std::uint32_t kRed = 0x000000FF;
constexpr std::uint32_t kOrange = 0x000080FF;
constexpr std::uint32_t kGreen = 0x0000C000;

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

/// Names `widget` and puts it where the table says.
template <class Widget>
Widget* placed(Widget* widget, std::string_view name, double dpi) {
    const DesignedRect& rect = designedRect(name);
    widget->setObjectName(QLatin1String(name.data(), static_cast<qsizetype>(name.size())));
    widget->setGeometry(designedPixels(rect, dpi));
    return widget;
}

QLabel* makeLabel(QWidget* parent, const QString& text, const QFont& font, QColor colour) {
    auto* label = new QLabel(text, parent);
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

QListWidget* makeList(QWidget* parent, const QFont& font) {
    auto* list = new QListWidget(parent);
    list->setFont(font);
    list->setSelectionMode(QAbstractItemView::MultiSelection);
    list->setUniformItemSizes(true);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // What is chosen shows in every list, not only in the one with the focus, as a Windows list
    // box draws it: the user reads all three before exporting. (Windows' own style of item views
    // draws it in a grey hardly seen, whatever the palette says.)
    QPalette palette = list->palette();
    for (const auto role : {QPalette::Highlight, QPalette::HighlightedText}) {
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    }
    list->setPalette(palette);
    list->setStyleSheet(
        QStringLiteral("QListWidget::item:selected { background: "
                       "palette(highlight); color: palette(highlighted-text); }"));
    return list;
}

void buildStatusArea(QWidget& window, MainWindowControls& c, double dpi) {
    const int top = twipsToPixels(kClientHeight, dpi);
    const int margin = twipsToPixels(120, dpi);

    c.cmd_Stop = new QPushButton(QStringLiteral("中止"), &window);
    c.cmd_Stop->setObjectName(QStringLiteral("cmd_Stop"));
    c.cmd_Stop->setToolTip(
        QStringLiteral("出力中のファイルを書き終えたところで出力処理を中止します"));
    c.cmd_Stop->setEnabled(false);
    c.cmd_Stop->setGeometry(window.width() - margin - 80, top, 80, kStatusHeight - 4);

    c.prg_Export = new QProgressBar(&window);
    c.prg_Export->setObjectName(QStringLiteral("prg_Export"));
    c.prg_Export->setTextVisible(false);
    c.prg_Export->setGeometry(margin, top + 4, twipsToPixels(4935, dpi), kStatusHeight - 12);
    c.prg_Export->hide();

    c.lbl_Progress = new QLabel(&window);
    c.lbl_Progress->setObjectName(QStringLiteral("lbl_Progress"));
    c.lbl_Progress->setGeometry(twipsToPixels(5160, dpi), top, c.cmd_Stop->x() - 8 - 344,
                                kStatusHeight - 4);
}

}  // namespace

const DesignedRect& designedRect(std::string_view name) {
    const auto* found =
        std::find_if(kMainWindowLayout.begin(), kMainWindowLayout.end(),
                     [name](const DesignedRect& rect) { return rect.name == name; });
    if (found == kMainWindowLayout.end()) {
        throw std::out_of_range("no designed rectangle for " + std::string(name));
    }
    return *found;
}

QRect designedPixels(const DesignedRect& rect, double dpi) {
    return twipsRect(rect.left, rect.top, rect.width, rect.height, dpi);
}

MainWindowControls buildMainWindowControls(QWidget& window) {
    MainWindowControls c;
    const double dpi = screenDpi(&window);
    const QFont fixed = fixedPitchFont(kFontPoints);
    const QFont proportional = proportionalFont(kFontPoints);
    window.setFont(proportional);
    window.setFixedSize(twipsToPixels(kClientWidth, dpi),
                        twipsToPixels(kClientHeight, dpi) + kStatusHeight);

    // Decoration first: whatever is made later lies on top of it.
    placed(new ShapeFrame(&window, colourFromBgr(kRed)), "Shape4", dpi);
    placed(new ShapeFrame(&window, colourFromBgr(kOrange)), "Shape3", dpi);
    placed(new ShapeFrame(&window, colourFromBgr(kGreen)), "Shape2", dpi);

    const QColor barColour(0x24, 0x48, 0x7C);
    for (const char* name : {"Label2", "Label1"}) {
        auto* bar = placed(new QLabel(&window), name, dpi);
        bar->setAutoFillBackground(true);
        QPalette palette = bar->palette();
        palette.setColor(QPalette::Window, barColour);
        bar->setPalette(palette);
    }
    c.lbl_TTL1 =
        placed(makeLabel(&window, QStringLiteral("　開催日データ選択"), proportional, Qt::white),
               "lbl_TTL1", dpi);
    c.lbl_TTL2 =
        placed(makeLabel(&window, QStringLiteral("　データ（指数）選択"), proportional, Qt::white),
               "lbl_TTL2", dpi);

    struct Note {
        int index;
        const char16_t* text;
        std::uint32_t colour;
    };
    const Note notes[] = {
        {3, u"● 開催日データ選択について", kRed},
        {4, u"※ 『過去データ』と『今週データ』は同時選択できません。", 0},
        {7, u"※ 『過去データ』の最新は毎週木曜日に更新されます。", 0},
        {5,
         u"※ 『過去データ』の出力にはご利用の環境により異なりますが、数十分から数時間かかります。",
         0},
        {6, u"※ 『過去データ』は複数選択できません、必要な開始年を選択して下さい。", 0},
        {1, u"● 予想／結果コメント出力データ選択", kOrange},
        {2, u"※ 極軸は『2015年1月～』 の", kRed},
        {0, u"    『過去データ』のみの出力と", kRed},
        {8, u"    なります。", kRed},
    };
    for (const Note& note : notes) {
        const std::string name = "Lbl_Help_" + std::to_string(note.index);
        QLabel* label = placed(makeLabel(&window, QString::fromUtf16(note.text), proportional,
                                         colourFromBgr(note.colour)),
                               name, dpi);
        fitToWidth(label);
        c.Lbl_Help[static_cast<std::size_t>(note.index)] = label;
    }

    c.ToBar1 = placed(new QToolBar(&window), "ToBar1", dpi);
    c.ToBar1->setMovable(false);
    c.ToBar1->setFloatable(false);
    c.ToBar1->setIconSize(QSize(24, 24));

    c.cmd_TFJVOut = new QPushButton(&window);
    c.cmd_TFJVOut->setFont(proportionalFont(kExportButtonPoints));
    c.cmd_TFJVOut->setToolTip(QStringLiteral("[TARGET frontier JV]にデータを出力します"));
    placed(c.cmd_TFJVOut, "cmd_TFJVOut", dpi);

    c.lst_ThisW = placed(makeList(&window, fixed), "lst_ThisW", dpi);
    c.cmd_On = placed(new QPushButton(QStringLiteral("全てオン"), &window), "cmd_On", dpi);
    c.cmd_Off = placed(new QPushButton(QStringLiteral("全てオフ"), &window), "cmd_Off", dpi);
    c.lst_DataSel = placed(makeList(&window, fixed), "lst_DataSel", dpi);
    c.lst_YKcom = placed(makeList(&window, proportional), "lst_YKcom", dpi);

    c.Fra_TFJVOut = placed(new QGroupBox(QStringLiteral("TARGET frontier JV 出力設定"), &window),
                           "Fra_TFJVOut", dpi);
    QPalette framePalette = c.Fra_TFJVOut->palette();
    framePalette.setColor(QPalette::WindowText, colourFromBgr(kGreen));
    c.Fra_TFJVOut->setPalette(framePalette);
    c.lblTFJVTLT = placed(
        makeLabel(c.Fra_TFJVOut, QStringLiteral("TARGET frontier JVがインストールされてるフォルダ"),
                  fixed, Qt::black),
        "lblTFJVTLT", dpi);
    c.txt_TFJVPath = new QLineEdit(QStringLiteral("C:\\TFJV"), c.Fra_TFJVOut);
    c.txt_TFJVPath->setFont(fixed);
    c.txt_TFJVPath->setPalette(window.palette());
    placed(c.txt_TFJVPath, "txt_TFJVPath", dpi);
    // The box is narrow: the whole path shows on hover.
    QObject::connect(c.txt_TFJVPath, &QLineEdit::textChanged, c.txt_TFJVPath,
                     &QLineEdit::setToolTip);
    c.cmd_TFJV_SGN = new QPushButton(c.Fra_TFJVOut);
    c.cmd_TFJV_SGN->setToolTip(
        QStringLiteral("[TARGET frontier JV]がインストールされてるフォルダを指定して下さい"));
    c.cmd_TFJV_SGN->setIcon(QIcon(folderPicture(24)));
    c.cmd_TFJV_SGN->setIconSize(QSize(24, 24));
    c.cmd_TFJV_SGN->setPalette(window.palette());
    placed(c.cmd_TFJV_SGN, "cmd_TFJV_SGN", dpi);

    c.lst_Log = new QListWidget(&window);
    c.lst_Log->setFont(fixed);
    c.lst_Log->setUniformItemSizes(true);
    c.lst_Log->setSelectionMode(QAbstractItemView::SingleSelection);
    placed(c.lst_Log, "lst_Log", dpi);

    buildStatusArea(window, c, dpi);
    return c;
}

QList<QAction*> fillToolbar(QToolBar& bar) {
    bar.clear();
    QList<QAction*> actions;
    auto add = [&](const char* key, const char* image, const char16_t* tip) {
        QAction* action = bar.addAction(toolbarImage(QLatin1String(image)), QString());
        action->setObjectName(QLatin1String(key));
        action->setToolTip(QString::fromUtf16(tip));
        action->setStatusTip(action->toolTip());
        actions += action;
    };
    add("End", "I_END", u"終了");
    // Separators 2 to 5 set the quit button apart: one wide gap rather than four lines.
    auto* gap = new QWidget(&bar);
    gap->setObjectName(QStringLiteral("ToBar1_Gap"));
    gap->setFixedWidth(4 * bar.style()->pixelMetric(QStyle::PM_ToolBarSeparatorExtent));
    bar.addWidget(gap);
    add("VarInfo", "I_INFO", u"バージョン＆ユーザー情報");
    bar.addSeparator();
    add("Help", "I_HELP", u"オンラインヘルプ");
    bar.addSeparator();
    add("Help2", "I_HELP2", u"データ解説書");
    return actions;
}

QPoint designedPosition(const QWidget& window) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        return window.pos();
    }
    const QRect available = screen->availableGeometry();
    const QPoint centred = available.center() - QPoint(window.width() / 2, window.height() / 2);
    return {std::max(centred.x(), available.left()), std::max(centred.y(), available.top())};
}

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

}  // namespace kestrova::ui
