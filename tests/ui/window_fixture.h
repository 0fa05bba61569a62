#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QDate>
#include <QListWidget>
#include <QString>
#include <QStringList>

#include "base/ss_logging.h"
#include "sample_server.h"
#include "support/temp_dir.h"
#include "ui/coded_list.h"
#include "ui/main_window.h"

namespace kestrova::test {

/// A started sample server, an application folder whose settings reach it, a prepared host
/// folder and the main window on top; message boxes are answered by the test.
class WindowFixture {
  public:
    /// This week: 5 and 6 December 2026; past data up to `newest` (year, month).
    explicit WindowFixture(int newestYear = 2026, int newestMonth = 2);
    ~WindowFixture();

    /// Writes the settings file: the server hosts, then `sysEnv` lines into SYS_ENV and
    /// `useOpt1` lines into USE_OPT1 (each line without its line end).
    void writeSettings(const QStringList& sysEnv = {}, const QStringList& useOpt1 = {});

    /// Makes, loads and shows the window; returns when its lists are complete.
    ui::frmTFLink& openWindow();
    /// Closes the window as its close box does (the settings are saved).
    void closeWindow();

    template <class Widget>
    Widget* find(const char* name) const {
        return window->findChild<Widget*>(QLatin1String(name));
    }
    QListWidget* list(const char* name) const { return find<QListWidget>(name); }

    /// The visible texts of a list.
    static QStringList texts(const QListWidget* list);
    /// The hidden codes of a list.
    static QStringList codes(const QListWidget* list);
    /// Selects the entries at `rows` of a list (and no other).
    static void select(QListWidget* list, std::initializer_list<int> rows);
    /// The activity lines without their "HH:MM:SS  " time stamp.
    QStringList activity() const;
    /// The messages of the log lines at `tag` ("[INFO]" and so on), in order.
    std::vector<std::string> logged(const std::string& tag = {}) const;

    /// The window's date, read whenever it asks.
    std::function<QDate()> today = &QDate::currentDate;
    TempDir appFolder;
    TempDir hostFolder;
    sample::SampleServer server;
    SsLogging log;
    std::unique_ptr<ui::frmTFLink> window;
};

}  // namespace kestrova::test
