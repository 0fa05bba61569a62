#include "window_fixture.h"

#include <filesystem>
#include <sstream>

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "base/cp932.h"
#include "services/app_log.h"
#include "services/app_settings.h"
#include "ui/dialogs.h"
#include "ui/qt_text.h"

namespace kestrova::test {

WindowFixture::WindowFixture(sample::ServerOptions options)
    : server(std::move(options)), log(makeAppLog(appFolder.path())) {
    server.start();
    log.LoggingLevel = kTrace;
    ui::Dialogs::answerAutomatically();
    ui::Dialogs::shown.clear();
    ui::Dialogs::answers.clear();
    ui::Dialogs::folders.clear();
    ui::Dialogs::browsedFrom.clear();
    ui::Dialogs::openedPages.clear();
    ui::Dialogs::whileShown = nullptr;
    ui::Dialogs::browserStarts = true;
    std::filesystem::create_directories(hostFolder / "MY_DATA" / "YOS_COM");
    std::filesystem::create_directories(hostFolder / "MY_DATA" / "KEK_COM");
    writeFile(hostFolder / "TFJV.EXE", "");
    writeSettings();
}

WindowFixture::~WindowFixture() {
    finished_.reset();
    window.reset();
    server.stop();
}

sample::ServerOptions WindowFixture::newest(int year, int month) {
    sample::ServerOptions options = FixedWeekServer::options();
    options.newestYear = year;
    options.newestMonth = month;
    return options;
}

void WindowFixture::writeSettings(const QStringList& sysEnv, const QStringList& useOpt1) {
    const QString host = QString::fromStdString(server.hostPort());
    QStringList lines{QStringLiteral("[SYS_ENV]"), QStringLiteral("REVNIW=10"),
                      QStringLiteral("MemberHost=") + host,
                      QStringLiteral("RaceAuthorityHost=http://") + host};
    lines += sysEnv;
    lines += QStringLiteral("[USE_OPT1]");
    lines += useOpt1;
    const std::string text =
        ui::utf8Text(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
    writeFile(settingsFile(appFolder.path()), toCp932(text).bytes);
}

ui::frmTFLink& WindowFixture::makeWindow() {
    finished_.reset();
    window = std::make_unique<ui::frmTFLink>(ui::MainWindowSetup{
        log, appFolder.path(), loadServerSettings(settingsFile(appFolder.path())),
        [this] { return today(); }});
    finished_ = std::make_unique<QSignalSpy>(window.get(), &ui::frmTFLink::exportFinished);
    return *window;
}

ui::frmTFLink& WindowFixture::openWindow() {
    makeWindow();
    window->Form_Load();
    window->show();
    if (!QTest::qWaitFor([this] { return window->isLoaded() || !window->isVisible(); }, 30000)) {
        throw std::runtime_error("the window did not finish loading");
    }
    return *window;
}

void WindowFixture::closeWindow() {
    window->close();
}

void WindowFixture::startExport(const ExportChoice& choice) {
    select(list("lst_ThisW"), choice.days);
    select(list("lst_DataSel"), choice.kinds);
    select(list("lst_YKcom"), choice.comments);
    find<QLineEdit>("txt_TFJVPath")
        ->setText(choice.hostFolder.value_or(ui::qtPath(hostFolder.path())));
    QTest::mouseClick(find<QPushButton>("cmd_TFJVOut"), Qt::LeftButton);
}

bool WindowFixture::waitForExports(qsizetype runs, int timeoutMs) {
    return QTest::qWaitFor([&] { return exportsFinished() >= runs; }, timeoutMs);
}

QStringList WindowFixture::texts(const QListWidget* list) {
    QStringList result;
    for (int row = 0; row < list->count(); ++row) {
        result += list->item(row)->text();
    }
    return result;
}

QStringList WindowFixture::codes(const QListWidget* list) {
    QStringList result;
    for (int row = 0; row < list->count(); ++row) {
        result += list->item(row)->data(ui::kHiddenCodeRole).toString();
    }
    return result;
}

void WindowFixture::select(QListWidget* list, const QList<int>& rows) {
    list->clearSelection();
    for (const int row : rows) {
        list->item(row)->setSelected(true);
    }
}

QStringList WindowFixture::activity() const {
    QStringList lines = texts(find<QListWidget>("lst_Log"));
    for (QString& line : lines) {
        line = line.mid(10);
    }
    return lines;
}

std::vector<std::string> WindowFixture::logged(const std::string& tag) const {
    std::vector<std::string> messages;
    std::istringstream lines(fromCp932(readFile(appFolder / "logs" / "Kestrova.log")));
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        // "yyyy/mm/dd hh:nn:ss.mmm [TAG] message"
        const auto tagEnd = line.find("] ", 24);
        if (tagEnd == std::string::npos) {
            continue;
        }
        if (tag.empty() || line.compare(24, tagEnd + 1 - 24, tag) == 0) {
            messages.push_back(line.substr(tagEnd + 2));
        }
    }
    return messages;
}

}  // namespace kestrova::test
