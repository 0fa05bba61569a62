#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/start_up.h"
#include "base/process.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrova"));
    QApplication::setApplicationVersion(QStringLiteral(KESTROVA_VERSION));
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
