// The main window's controls where the design puts them: the design's twips at 15 per pixel
// (96 dpi), fonts and colours.

#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include "services/app_log.h"
#include "support/temp_dir.h"
#include "ui/look.h"
#include "ui/main_window.h"

class LayoutTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanupTestCase();
    void controlsSitWhereDesigned_data();
    void controlsSitWhereDesigned();
    void clientAreaIsTheDesignedOneWithTheProgressBelowIt();
    void fontsAreTheDesignedOnesOrTheirJapaneseStandIns();
    void notesAndFrameCarryTheirColours();
    void paintedCaptionFollowsItsAlignment();

  private:
    std::unique_ptr<kestrova::test::TempDir> folder_;
    std::unique_ptr<kestrova::SsLogging> log_;
    std::unique_ptr<kestrova::ui::frmTFLink> window_;
};

void LayoutTest::initTestCase() {
    folder_ = std::make_unique<kestrova::test::TempDir>();
    log_ = std::make_unique<kestrova::SsLogging>(kestrova::makeAppLog(folder_->path()));
    window_ = std::make_unique<kestrova::ui::frmTFLink>(
        kestrova::ui::MainWindowSetup{*log_, folder_->path(), {}});
    QCOMPARE(kestrova::ui::screenDpi(window_.get()), 96.0);
}

void LayoutTest::cleanupTestCase() {
    window_.reset();
}

void LayoutTest::controlsSitWhereDesigned_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("pixels");
    const std::pair<const char*, QRect> table[] = {
        {"ToBar1", {0, 0, 971, 41}},         {"cmd_TFJVOut", {752, 3, 137, 35}},
        {"Label2", {8, 56, 329, 33}},        {"lbl_TTL1", {8, 64, 281, 25}},
        {"lst_ThisW", {8, 88, 329, 174}},    {"Label1", {8, 272, 329, 33}},
        {"lbl_TTL2", {8, 280, 329, 33}},     {"cmd_On", {168, 277, 67, 23}},
        {"cmd_Off", {256, 277, 67, 23}},     {"lst_DataSel", {8, 304, 329, 310}},
        {"Shape4", {344, 56, 617, 129}},     {"Lbl_Help_3", {352, 64, 491, 33}},
        {"Lbl_Help_4", {352, 88, 603, 33}},  {"Lbl_Help_7", {352, 112, 603, 33}},
        {"Lbl_Help_5", {352, 136, 507, 33}}, {"Lbl_Help_6", {352, 160, 507, 33}},
        {"Shape3", {344, 192, 617, 217}},    {"Lbl_Help_1", {352, 200, 403, 25}},
        {"lst_YKcom", {352, 224, 401, 174}}, {"Lbl_Help_2", {760, 232, 195, 33}},
        {"Lbl_Help_0", {752, 248, 195, 33}}, {"Lbl_Help_8", {752, 264, 195, 33}},
        {"Shape2", {344, 416, 617, 73}},     {"Fra_TFJVOut", {352, 424, 601, 57}},
        {"lblTFJVTLT", {8, 24, 393, 17}},    {"txt_TFJVPath", {400, 19, 121, 25}},
        {"cmd_TFJV_SGN", {528, 16, 65, 33}}, {"lst_Log", {344, 504, 617, 109}},
    };
    for (const auto& [name, pixels] : table) {
        QTest::newRow(name) << QString::fromLatin1(name) << pixels;
    }
}

void LayoutTest::controlsSitWhereDesigned() {
    QFETCH(QString, name);
    QFETCH(QRect, pixels);
    const QWidget* control = window_->findChild<QWidget*>(name);
    QVERIFY2(control, qPrintable(name));
    QCOMPARE(control->geometry(), pixels);
    // The three controls of the frame sit in the frame, the others on the window.
    const QString parent = control->parentWidget()->objectName();
    QCOMPARE(parent, name == QLatin1String("lblTFJVTLT") || name == QLatin1String("txt_TFJVPath") ||
                             name == QLatin1String("cmd_TFJV_SGN")
                         ? QStringLiteral("Fra_TFJVOut")
                         : QStringLiteral("frmTFLink"));
}

void LayoutTest::clientAreaIsTheDesignedOneWithTheProgressBelowIt() {
    QCOMPARE(window_->width(), 971);
    QVERIFY(window_->height() > 622);
    for (const char* name : {"prg_Export", "lbl_Progress", "cmd_Stop"}) {
        const QWidget* control = window_->findChild<QWidget*>(QLatin1String(name));
        QVERIFY2(control && control->geometry().top() >= 622, name);
        QVERIFY(control->geometry().bottom() < window_->height());
    }
}

void LayoutTest::fontsAreTheDesignedOnesOrTheirJapaneseStandIns() {
    const QStringList fixed{QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"),
                            QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP")};
    const QStringList proportional{QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                                   QStringLiteral("IPAPGothic"),
                                   QStringLiteral("Noto Sans CJK JP")};
    for (const char* name : {"lst_ThisW", "lst_DataSel", "lst_Log", "txt_TFJVPath", "lblTFJVTLT"}) {
        const QWidget* control = window_->findChild<QWidget*>(QLatin1String(name));
        const QFontInfo used(control->font());
        QVERIFY2(fixed.contains(used.family()), qPrintable(used.family()));
        QCOMPARE(control->font().pointSizeF(), 11.25);
        QCOMPARE(control->font().weight(), QFont::Normal);
    }
    for (const char* name : {"lst_YKcom", "lbl_TTL1", "lbl_TTL2", "cmd_On", "Lbl_Help_1"}) {
        const QWidget* control = window_->findChild<QWidget*>(QLatin1String(name));
        const QFontInfo used(control->font());
        QVERIFY2(proportional.contains(used.family()), qPrintable(used.family()));
        QCOMPARE(control->font().pointSizeF(), 11.25);
    }
    const QWidget* button = window_->findChild<QWidget*>(QStringLiteral("cmd_TFJVOut"));
    QVERIFY(proportional.contains(QFontInfo(button->font()).family()));
    QCOMPARE(button->font().pointSizeF(), 14.25);
}

void LayoutTest::notesAndFrameCarryTheirColours() {
    auto colour = [this](const char* name) {
        return window_->findChild<QWidget*>(QLatin1String(name))
            ->palette()
            .color(QPalette::WindowText);
    };
    QCOMPARE(colour("Lbl_Help_3"), QColor(0xFF, 0, 0));
    QCOMPARE(colour("Lbl_Help_4"), QColor(0, 0, 0));
    QCOMPARE(colour("Lbl_Help_6"), QColor(0, 0, 0));
    QCOMPARE(colour("Lbl_Help_1"), QColor(0xFF, 0x80, 0));
    QCOMPARE(colour("Lbl_Help_8"), QColor(0xFF, 0, 0));
    QCOMPARE(colour("Fra_TFJVOut"), QColor(0, 0xC0, 0));
    QCOMPARE(colour("lblTFJVTLT"), QColor(0, 0, 0));
    auto* note = window_->findChild<QLabel*>(QStringLiteral("Lbl_Help_4"));
    QCOMPARE(note->text(),
             QStringLiteral("※ 『過去データ』と『今週データ』は同時選択できません。"));
    auto* frame = window_->findChild<QGroupBox*>(QStringLiteral("Fra_TFJVOut"));
    QCOMPARE(frame->title(), QStringLiteral("TARGET frontier JV 出力設定"));
}

namespace {

/// The first and last columns of the painted face that hold caption pixels.
std::pair<int, int> captionColumns(const QImage& face, QColor background) {
    int first = -1;
    int last = -1;
    for (int x = 0; x < face.width(); ++x) {
        for (int y = 0; y < face.height(); ++y) {
            if (face.pixelColor(x, y) != background) {
                first = first < 0 ? x : first;
                last = x;
                break;
            }
        }
    }
    return {first, last};
}

QImage faceOf(const QPushButton& button) {
    return button.icon().pixmap(button.size()).toImage().convertToFormat(QImage::Format_RGB32);
}

}  // namespace

void LayoutTest::paintedCaptionFollowsItsAlignment() {
    QPushButton button(QStringLiteral("old"));
    button.setFont(kestrova::ui::proportionalFont(14.25));
    button.resize(137, 35);
    const QColor green(0, 0xC0, 0);

    int alignment = 5;
    kestrova::ui::frmTFLink::PaintButtonCaption(button, QStringLiteral("TFJV 出力"), 0x00C000,
                                                alignment, 1);
    QCOMPARE(alignment, 0);
    QVERIFY(button.text().isEmpty());
    QImage face = faceOf(button);
    QCOMPARE(face.size(), QSize(137, 35));
    QCOMPARE(face.pixelColor(1, 1), green);
    const auto [left, leftEnd] = captionColumns(face, green);
    QVERIFY2(left >= 6 && left <= 8, qPrintable(QString::number(left)));  // 100 twips

    alignment = 2;
    kestrova::ui::frmTFLink::PaintButtonCaption(button, QStringLiteral("TFJV 出力"), 0x00C000,
                                                alignment, 1);
    face = faceOf(button);
    const auto [first, last] = captionColumns(face, green);
    QVERIFY(std::abs(first - (face.width() - 1 - last)) <= 2);
    QCOMPARE(last - first, leftEnd - left);

    alignment = 1;
    kestrova::ui::frmTFLink::PaintButtonCaption(button, QStringLiteral("TFJV 出力"), 0x00C000,
                                                alignment, 1);
    const auto [rightStart, right] = captionColumns(faceOf(button), green);
    QVERIFY(face.width() - 1 - right >= 5 && face.width() - 1 - right <= 8);
    QVERIFY(rightStart > first);

    // Uncoloured: black on the button's own face.
    alignment = 0;
    kestrova::ui::frmTFLink::PaintButtonCaption(button, QStringLiteral("TFJV 出力"), 0x00C000,
                                                alignment, 0);
    const QImage plain = faceOf(button);
    QCOMPARE(plain.pixelColor(1, 1), button.palette().color(QPalette::Button));
    bool black = false;
    for (int x = 0; x < plain.width() && !black; ++x) {
        for (int y = 0; y < plain.height() && !black; ++y) {
            black = plain.pixelColor(x, y) == QColor(Qt::black);
        }
    }
    QVERIFY(black);
}

QTEST_MAIN(LayoutTest)
#include "test_layout.moc"
