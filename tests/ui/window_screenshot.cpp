// Draws the main window after a this-week export against the sample server and saves it as
// a PNG: window_screenshot OUT.png (on the offscreen platform, or any display).

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QtTest>

#include "app/splash_window.h"
#include "ui/about_window.h"
#include "ui/dialogs.h"
#include "ui/qt_text.h"
#include "window_fixture.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2 && argc != 3 && argc != 5) {
        std::fprintf(stderr,
                     "usage: window_screenshot OUT.png [RUNNING.png [ABOUT.png SPLASH.png]]\n");
        return 2;
    }
    kestrova::test::WindowFixture f;
    f.openWindow();
    const int week = QDate::currentDate().year() - 2010 + 1;
    const QList<int> kinds{0, 1, 3, 6, 13};
    const QList<int> comments{0, 1, 2, 3, 6};
    // A host folder with a name a user would choose, where the field shows it whole; the
    // fixture's own folder where that name is taken.
    std::filesystem::path host = std::filesystem::temp_directory_path() / "TFJV";
    std::error_code error;
    const bool ownHost = std::filesystem::create_directory(host, error);
    if (ownHost) {
        std::filesystem::create_directories(host / "MY_DATA" / "YOS_COM");
        std::filesystem::create_directories(host / "MY_DATA" / "KEK_COM");
        std::ofstream(host / "TFJV.EXE").close();
    } else {
        host = f.hostFolder.path();
    }
    struct RemoveHost {
        const std::filesystem::path& path;
        bool own;
        ~RemoveHost() {
            if (own) {
                std::error_code ignored;
                std::filesystem::remove_all(path, ignored);
            }
        }
    } removeHost{host, ownHost};
    f.startExport({.days = {week, week + 1},
                   .kinds = kinds,
                   .comments = comments,
                   .hostFolder = kestrova::ui::qtPath(host)});
    if (!f.waitForExports(1, 60000)) {
        std::fprintf(stderr, "the export did not end\n");
        return 1;
    }
    f.list("lst_ThisW")->scrollToBottom();
    QTest::qWait(100);
    if (!f.window->grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    if (argc == 5) {
        kestrova::ui::frmAbout about(f.appFolder.path(), f.log);
        about.show();
        QTest::qWait(50);
        about.grab().save(QString::fromLocal8Bit(argv[3]), "PNG");
        kestrova::app::frmSplash splash(f.log);
        splash.show();
        QTest::qWait(50);
        splash.grab().save(QString::fromLocal8Bit(argv[4]), "PNG");
    }
    if (argc >= 3) {
        // A past-data run caught in the middle: the progress line below the designed area.
        f.server.addFault({.path = "/kestrova/tfdata2/TF1003.html",
                           .kind = kestrova::sample::FaultKind::Slow,
                           .delay = std::chrono::milliseconds(4000)});
        f.startExport({.days = {0},
                       .kinds = kinds,
                       .comments = comments,
                       .hostFolder = kestrova::ui::qtPath(host)});
        QTest::qWait(3000);
        f.window->grab().save(QString::fromLocal8Bit(argv[2]), "PNG");
        f.find<QPushButton>("cmd_Stop")->click();
        return QTest::qWaitFor([&f] { return !f.window->isExporting(); }, 60000) ? 0 : 1;
    }
    return 0;
}
