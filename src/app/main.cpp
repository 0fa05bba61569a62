#include <iostream>
#include <string_view>

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/start_up.h"
#include "base/process.h"
#include "services/program_texts.h"

int main(int argc, char** argv) {
    // Answered before QApplication, which needs a display.
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::cout << kestrova::versionOutput() << std::endl;
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrova"));
    QApplication::setApplicationVersion(QStringLiteral(KESTROVA_VERSION));
    // Desktops find the menu entry's name and icon by this.
    QGuiApplication::setDesktopFileName(QStringLiteral("jp.kestrova.Kestrova"));
    kestrova::ignoreSignalsThatEndWrites();
    // Qt's own dialogs (the folder browser) in Japanese, where the translations are installed.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }
    kestrova::app::Main program(kestrova::app::thisProcess());
    switch (program.run()) {
        case kestrova::app::StartUpEnd::MainWindowShown:
            return QApplication::exec();
        case kestrova::app::StartUpEnd::AlreadyRunning:
        case kestrova::app::StartUpEnd::UpdaterStarted:
            return 0;
        default:
            return 1;
    }
}
