// The main window's settings on their own: what a saved file reads back as, and the values
// that are refused on the way in.

#include <QtTest>

#include "base/cp932.h"
#include "services/app_log.h"
#include "services/app_settings.h"
#include "services/ini_file.h"
#include "support/temp_dir.h"
#include "ui/window_settings.h"

using kestrova::ui::WindowSettings;

namespace {

/// A settings file of CP932 lines joined by CR LF.
void writeIni(const std::filesystem::path& file, const std::string& lines) {
    kestrova::test::writeFile(file, kestrova::toCp932(lines).bytes);
}

}  // namespace

class WindowSettingsTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void savedSettingsReadBackAndLeaveTheServerKeysAlone();
    void missingFileReadsAsNothingSaved();
    void positionThatIsNoNumberIsRefusedWhole_data();
    void positionThatIsNoNumberIsRefusedWhole();
    void selectionStringsOfTheWrongLengthAreRefused_data();
    void selectionStringsOfTheWrongLengthAreRefused();
    void saveIntoAMissingFolderFails();

  private:
    /// The messages of the warning lines logged so far.
    QStringList warnings() const;

    std::unique_ptr<kestrova::test::TempDir> folder_;
    std::unique_ptr<kestrova::SsLogging> log_;
    std::filesystem::path file_;
};

void WindowSettingsTest::init() {
    folder_ = std::make_unique<kestrova::test::TempDir>();
    log_ = std::make_unique<kestrova::SsLogging>(kestrova::makeAppLog(folder_->path()));
    file_ = kestrova::settingsFile(folder_->path());
}

QStringList WindowSettingsTest::warnings() const {
    const auto log = folder_->path() / "logs" / "Kestrova.log";
    if (!std::filesystem::exists(log)) {
        return {};
    }
    QStringList lines;
    for (const QString& line :
         QString::fromStdString(kestrova::fromCp932(kestrova::test::readFile(log)))
             .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        if (line.contains(QStringLiteral(" [WARN] "))) {
            lines += line;
        }
    }
    return lines;
}

void WindowSettingsTest::savedSettingsReadBackAndLeaveTheServerKeysAlone() {
    writeIni(file_, "[SYS_ENV]\r\nREVNIW=10\r\nMemberHost=127.0.0.1:8080\r\n");
    WindowSettings saved;
    saved.top = 1800.0;
    saved.left = 2250.4;  // written as whole twips
    saved.hostFolder = "C:\\TARGET frontier JV\\TFJV ";
    saved.dataKinds = "101" + std::string(43, '0') + "1";
    saved.comments = "0100000001";
    QVERIFY(saved.save(file_));

    const WindowSettings read = WindowSettings::load(file_, *log_);
    QCOMPARE(read.top, std::optional<double>(1800.0));
    QCOMPARE(read.left, std::optional<double>(2250.0));
    QCOMPARE(read.hostFolder, "C:\\TARGET frontier JV\\TFJV");  // trimmed on the way in
    QCOMPARE(read.dataKinds, saved.dataKinds);
    QCOMPARE(read.comments, saved.comments);
    QCOMPARE(kestrova::readIniText(file_, "USE_OPT1", "TFJV_DTSL"), "000" + saved.dataKinds);
    const auto server = kestrova::loadServerSettings(file_);
    QCOMPARE(server.memberHost, "127.0.0.1:8080");
    QCOMPARE(server.schemeSetting, "10");
    QVERIFY(warnings().isEmpty());

    // Nothing selected is saved as such, and no position is written when there is none.
    WindowSettings empty;
    empty.dataKinds = std::string(47, '0');
    empty.comments = std::string(10, '0');
    QVERIFY(empty.save(file_));
    const WindowSettings again = WindowSettings::load(file_, *log_);
    QCOMPARE(again.dataKinds, empty.dataKinds);
    QCOMPARE(again.top, std::optional<double>(1800.0));
    QVERIFY(again.hostFolder.empty());
}

void WindowSettingsTest::missingFileReadsAsNothingSaved() {
    const WindowSettings read = WindowSettings::load(file_, *log_);
    QVERIFY(!read.top && !read.left);
    QVERIFY(read.hostFolder.empty() && read.dataKinds.empty() && read.comments.empty());
    QVERIFY(warnings().isEmpty());
}

void WindowSettingsTest::positionThatIsNoNumberIsRefusedWhole_data() {
    QTest::addColumn<QString>("lines");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QString>("named");  // the key the warning names
    QTest::addColumn<double>("top");
    QTest::addColumn<double>("left");
    QTest::newRow("top not a number") << QStringLiteral("M_Top=abc\r\nM_Left=1500") << true
                                      << QStringLiteral("M_Top の値「abc」") << 0.0 << 0.0;
    QTest::newRow("left not a number") << QStringLiteral("M_Top=1500\r\nM_Left=12px") << true
                                       << QStringLiteral("M_Left の値「12px」") << 0.0 << 0.0;
    QTest::newRow("infinite") << QStringLiteral("M_Top=1e999\r\nM_Left=1500") << true
                              << QStringLiteral("M_Top の値「1e999」") << 0.0 << 0.0;
    QTest::newRow("numbers") << QStringLiteral("M_Top= 1500 \r\nM_Left=750.4") << false << QString()
                             << 1500.0 << 750.4;
}

void WindowSettingsTest::positionThatIsNoNumberIsRefusedWhole() {
    QFETCH(QString, lines);
    QFETCH(bool, refused);
    QFETCH(QString, named);
    QFETCH(double, top);
    QFETCH(double, left);
    writeIni(file_,
             "[SYS_ENV]\r\n" + lines.toStdString() + "\r\n[USE_OPT1]\r\nTFJV_YSCM=0010000000\r\n");
    const WindowSettings read = WindowSettings::load(file_, *log_);
    // The rest is read all the same.
    QCOMPARE(read.comments, "0010000000");
    if (refused) {
        QVERIFY(!read.top && !read.left);
        const QStringList logged = warnings();
        QCOMPARE(logged.size(), 1);
        QVERIFY2(logged.front().contains(named), qPrintable(logged.front()));
    } else {
        QCOMPARE(read.top, std::optional<double>(top));
        QCOMPARE(read.left, std::optional<double>(left));
        QVERIFY(warnings().isEmpty());
    }
}

void WindowSettingsTest::selectionStringsOfTheWrongLengthAreRefused_data() {
    QTest::addColumn<QString>("kinds");
    QTest::addColumn<QString>("comments");
    QTest::addColumn<QString>("kindFlags");
    QTest::addColumn<QString>("commentFlags");
    const QString ones47(47, QLatin1Char('1'));
    QTest::newRow("one short") << QStringLiteral("000") + ones47.left(46)
                               << QStringLiteral("111111111") << QString() << QString();
    QTest::newRow("one long") << QStringLiteral("000") + ones47 + QStringLiteral("1")
                              << QStringLiteral("11111111111") << QString() << QString();
    // The first three characters are not read; a value is trimmed before it is measured.
    QTest::newRow("trimmed, prefix skipped")
        << QStringLiteral(" 111") + QString(46, QLatin1Char('0')) + QStringLiteral("1 ")
        << QStringLiteral("1000000000") << QString(46, QLatin1Char('0')) + QStringLiteral("1")
        << QStringLiteral("1000000000");
    // Measured in characters, not bytes; anything but '1' is not selected.
    QTest::newRow("other characters")
        << QStringLiteral("000") + ones47.left(45) + QStringLiteral("あx")
        << QStringLiteral("1あ1あ1あ1あ1あ") << ones47.left(45) + QStringLiteral("00")
        << QStringLiteral("1010101010");
}

void WindowSettingsTest::selectionStringsOfTheWrongLengthAreRefused() {
    QFETCH(QString, kinds);
    QFETCH(QString, comments);
    QFETCH(QString, kindFlags);
    QFETCH(QString, commentFlags);
    writeIni(file_, "[USE_OPT1]\r\nTFJV_DTSL=" + kinds.toStdString() +
                        "\r\nTFJV_YSCM=" + comments.toStdString() + "\r\n");
    const WindowSettings read = WindowSettings::load(file_, *log_);
    QCOMPARE(QString::fromStdString(read.dataKinds), kindFlags);
    QCOMPARE(QString::fromStdString(read.comments), commentFlags);
}

void WindowSettingsTest::saveIntoAMissingFolderFails() {
    WindowSettings settings;
    settings.top = 15.0;
    settings.comments = "0000000000";
    QVERIFY(!settings.save(folder_->path() / "gone" / "Kestrova.Ini"));
    QVERIFY(!std::filesystem::exists(folder_->path() / "gone"));
}

QTEST_GUILESS_MAIN(WindowSettingsTest)
#include "test_window_settings.moc"
