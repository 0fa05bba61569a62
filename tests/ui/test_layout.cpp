// The main window's controls where the design puts them: the table's twips at 15 per pixel
// (96 dpi), inside their frames and clear of each other; fonts and colours.

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <QAction>
#include <QFontInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QToolBar>
#include <QtTest>

#include "services/app_log.h"
#include "support/temp_dir.h"
#include "ui/look.h"
#include "ui/main_window.h"
#include "ui/main_window_layout.h"

class LayoutTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanupTestCase();
    void controlsSitWhereDesigned_data();
    void controlsSitWhereDesigned();
    void controlsLieInsideTheirFramesAndTheClientArea();
    void controlsThatTakeClicksDoNotOverlap();
    void clientAreaIsTheDesignedOneWithTheProgressBelowIt();
    void fontsAreTheDesignedOnesOrTheirJapaneseStandIns();
    void paintedCaptionFollowsItsAlignment();
    void chosenRowsShowInEveryListWithoutTheFocus();

  private:
    const QWidget* widget(std::string_view name) const {
        const QString text = QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
        const auto* found = window_->findChild<QWidget*>(text);
        if (!found) {
            throw std::runtime_error("no control " + std::string(name));
        }
        return found;
    }
    /// A control's rectangle in the window's coordinates.
    QRect inWindow(const QWidget* control) const {
        return QRect(control->mapTo(window_.get(), QPoint()), control->size());
    }

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
    for (const kestrova::ui::DesignedRect& rect : kestrova::ui::kMainWindowLayout) {
        const QByteArray name(rect.name.data(), static_cast<qsizetype>(rect.name.size()));
        QTest::newRow(name.constData()) << QString::fromLatin1(name);
    }
}

void LayoutTest::controlsSitWhereDesigned() {
    QFETCH(QString, name);
    const auto& rect = kestrova::ui::designedRect(name.toStdString());
    const QWidget* control = window_->findChild<QWidget*>(name);
    QVERIFY2(control, qPrintable(name));
    // 15 twips a pixel at 96 dpi.
    QCOMPARE(control->geometry(), QRect(qRound(rect.left / 15.0), qRound(rect.top / 15.0),
                                        qRound(rect.width / 15.0), qRound(rect.height / 15.0)));
    QCOMPARE(control->parentWidget()->objectName().toStdString(), std::string(rect.parent));
}

void LayoutTest::controlsLieInsideTheirFramesAndTheClientArea() {
    const QRect client(0, 0, window_->width(), 622);
    for (const kestrova::ui::DesignedRect& rect : kestrova::ui::kMainWindowLayout) {
        const QWidget* control = widget(rect.name);
        QVERIFY2(QRect(QPoint(), control->parentWidget()->size()).contains(control->geometry()),
                 rect.name.data());
        QVERIFY2(client.contains(inWindow(control)), rect.name.data());
    }
    const std::pair<const char*, std::vector<const char*>> frames[] = {
        {"Label2", {"lbl_TTL1"}},
        {"Label1", {"cmd_On", "cmd_Off"}},
        {"Shape4", {"Lbl_Help_3", "Lbl_Help_4", "Lbl_Help_7", "Lbl_Help_5", "Lbl_Help_6"}},
        {"Shape3", {"Lbl_Help_1", "lst_YKcom", "Lbl_Help_2", "Lbl_Help_0", "Lbl_Help_8"}},
        {"Shape2", {"Fra_TFJVOut"}},
    };
    for (const auto& [frame, members] : frames) {
        QRect inside = inWindow(widget(frame));
        if (std::string_view(frame).starts_with("Shape")) {
            inside.adjust(1, 1, -1, -1);  // within the border
        }
        for (const char* member : members) {
            QRect shown = inWindow(widget(member));
            // A note is one line high, whatever its box.
            if (const auto* note = qobject_cast<const QLabel*>(widget(member))) {
                shown.setHeight(note->fontMetrics().height());
            }
            QVERIFY2(
                inside.contains(shown),
                qPrintable(
                    QStringLiteral("%1 in %2").arg(QLatin1String(member), QLatin1String(frame))));
        }
    }
}

void LayoutTest::controlsThatTakeClicksDoNotOverlap() {
    const char* const controls[] = {"cmd_TFJVOut", "lst_ThisW",  "cmd_On",       "cmd_Off",
                                    "lst_DataSel", "lst_YKcom",  "txt_TFJVPath", "cmd_TFJV_SGN",
                                    "lst_Log",     "prg_Export", "cmd_Stop"};
    for (const char* first : controls) {
        for (const char* second : controls) {
            if (std::string_view(first) < std::string_view(second)) {
                QVERIFY2(!inWindow(widget(first)).intersects(inWindow(widget(second))),
                         qPrintable(QStringLiteral("%1 and %2")
                                        .arg(QLatin1String(first), QLatin1String(second))));
            }
        }
    }
    // The export button sits on the toolbar, clear of its buttons.
    auto* bar = window_->findChild<QToolBar*>(QStringLiteral("ToBar1"));
    kestrova::ui::fillToolbar(*bar);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    const QRect button = inWindow(widget("cmd_TFJVOut"));
    QCOMPARE(bar->actions().size(), 7);  // four buttons, the gap and two separators
    for (QAction* action : bar->actions()) {
        const QWidget* shown = bar->widgetForAction(action);
        QVERIFY(shown);
        QVERIFY2(!inWindow(shown).intersects(button), qPrintable(action->objectName()));
    }
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
    // 100 twips and the last glyph's own bearing, which Windows' fonts make wider.
    QVERIFY2(face.width() - 1 - right >= 5 && face.width() - 1 - right <= 10,
             qPrintable(QString::number(face.width() - 1 - right)));
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

void LayoutTest::chosenRowsShowInEveryListWithoutTheFocus() {
    // The user reads what is chosen in all the lists before exporting; Windows' own style draws
    // a chosen row of a list without the focus in a grey hardly seen.
    for (const char* name : {"lst_DataSel", "lst_YKcom"}) {
        auto* list = qobject_cast<QListWidget*>(const_cast<QWidget*>(widget(name)));
        QVERIFY2(list, name);
        while (list->count() < 2) {
            list->addItem(QStringLiteral("ＩＤＭ（KSTR010）"));
        }
        list->clearSelection();
        list->item(0)->setSelected(true);
        QVERIFY(!list->hasFocus());
        const QImage shown = list->viewport()->grab().toImage();
        const auto at = [&](int row) {
            const QRect rect = list->visualItemRect(list->item(row));
            return shown.pixelColor(rect.right() - 2, rect.center().y());
        };
        QCOMPARE(at(0), list->palette().color(QPalette::Active, QPalette::Highlight));
        QCOMPARE(at(1), list->palette().color(QPalette::Active, QPalette::Base));
        list->clearSelection();
    }
}

QTEST_MAIN(LayoutTest)
#include "test_layout.moc"
