#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QDate>
#include <QList>
#include <QListWidget>
#include <QSignalSpy>
#include <QString>
#include <QStringList>

#include "base/ss_logging.h"
#include "sample_server.h"
#include "support/fixed_week_server.h"
#include "support/temp_dir.h"
#include "ui/coded_list.h"
#include "ui/main_window.h"

namespace kestrova::test {

/// A started sample server, an application folder whose settings reach it, a prepared host
/// folder and the main window on top; message boxes are answered by the test.
class WindowFixture {
  public:
    /// The sample server of `options` (this week: 5 and 6 December 2026).
    explicit WindowFixture(sample::ServerOptions options = FixedWeekServer::options());
    ~WindowFixture();

    /// The fixed week with past data up to `year`-`month`.
    static sample::ServerOptions newest(int year, int month);

    /// Writes the settings file: the server hosts, then `sysEnv` lines into SYS_ENV and
    /// `useOpt1` lines into USE_OPT1 (each line without its line end).
    void writeSettings(const QStringList& sysEnv = {}, const QStringList& useOpt1 = {});

    /// Makes the window for this fixture's folders and server, without loading it.
    ui::frmTFLink& makeWindow();
    /// Makes, loads and shows the window; returns when its lists are complete.
    ui::frmTFLink& openWindow();

    /// An export as a user asks for it: the rows to select in the three lists (no others)
    /// and the host folder to type, the prepared one unless given.
    struct ExportChoice {
        QList<int> days = {};
        QList<int> kinds = {};
        QList<int> comments = {};
        std::optional<QString> hostFolder = std::nullopt;
    };
    /// Selects, types and clicks the export button; returns once the click is handled
    /// (the run goes on on its worker).
    void startExport(const ExportChoice& choice);
    /// Waits until the window has finished `runs` exports since it was made.
    bool waitForExports(qsizetype runs, int timeoutMs = 30000);
    /// The exports the window has finished since it was made.
    qsizetype exportsFinished() const { return finished_ ? finished_->size() : 0; }
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
    static void select(QListWidget* list, const QList<int>& rows);
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

  private:
    std::unique_ptr<QSignalSpy> finished_;
};

}  // namespace kestrova::test
