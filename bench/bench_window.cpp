// A full past-data export (2010-01 through last month, every index kind and comment) through
// the main window's own export code on the offscreen platform, against the sample server on
// loopback, while a timer on the GUI thread ticks every 10 ms and records the longest gap
// between its ticks: the time the window could not paint or take a click. The window paints
// what the run changes (activity lines, the progress line) meanwhile.
//
// Then bench_export runs the same export without a window, as a child process, so that both
// figures come from the same machine at the same time. Both run as users get them by default:
// compressed answers and a download cache (bench_export --defaults). The window's files are removed
// only after that run: both runs write into a file system without recently freed inodes (see
// bench_export.cpp).
//
//   bench_window [--newest YYYY-MM] [--from YEAR]
//
// The last two lines: bench_export's own last line, then
// "window: <N> MB/s, max stall <S> ms" (targets: S <= 100, N >= 90 % of bench_export's).

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include "base/ss_logging.h"
#include "bench_support.h"
#include "export/export_run.h"
#include "services/app_log.h"
#include "services/app_settings.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"

namespace {

namespace fs = std::filesystem;

struct Options {
    QString newest;  ///< YYYY-MM
    int fromYear = 2010;
};

Options parseOptions(const QStringList& args) {
    Options options;
    const QDate lastMonth = QDate::currentDate().addMonths(-1);
    options.newest = lastMonth.toString(QStringLiteral("yyyy-MM"));
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--newest") && i + 1 < args.size()) {
            options.newest = args[++i];
        } else if (args[i] == QLatin1String("--from") && i + 1 < args.size()) {
            options.fromYear = args[++i].toInt();
        } else {
            throw std::invalid_argument("usage: bench_window [--newest YYYY-MM] [--from YEAR]");
        }
    }
    if (!QRegularExpression(QStringLiteral("^\\d{4}-\\d{2}$")).match(options.newest).hasMatch() ||
        options.fromYear < 2010 || options.fromYear > options.newest.left(4).toInt()) {
        throw std::invalid_argument("--newest wants YYYY-MM, --from a year from 2010 on");
    }
    return options;
}

/// A folder under the temporary folder, removed with everything in it.
class ScratchFolder {
  public:
    explicit ScratchFolder(const std::string& prefix) {
        std::random_device random;
        path_ = fs::temp_directory_path() / (prefix + std::to_string(random()));
        fs::create_directories(path_);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder() { remove(); }
    void remove() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

int monthCount(const Options& options) {
    const int newestYear = options.newest.left(4).toInt();
    return (newestYear - options.fromYear) * 12 + options.newest.mid(5).toInt();
}

/// Fetches every month file with curl, compressed and then plain: warms the server's pages in
/// both forms and counts the HTML bytes the export will read.
std::uint64_t warmUp(const std::string& hostPort, const Options& options) {
    std::vector<std::string> urls;
    for (const std::string& file : kestrova::bench::monthFiles(
             options.fromYear, options.newest.left(4).toInt(), options.newest.mid(5).toInt())) {
        urls.push_back("http://" + hostPort + "/kestrova/tfdata2/" + file);
    }
    kestrova::bench::fetchWithCurl(urls, true);
    return kestrova::bench::fetchWithCurl(urls).bodyBytes;
}

/// The longest time the GUI thread went without its 10 ms tick: the time the window could
/// not have painted or taken a click.
class StallMeter {
  public:
    explicit StallMeter(QWidget& window) {
        timer_.setInterval(10);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, &window,
                         [this] { maxGap_ = std::max(maxGap_, since_.restart()); });
    }
    void start() {
        since_.start();
        timer_.start();
    }
    void stop() { timer_.stop(); }
    qint64 maxGapMs() const { return maxGap_; }

  private:
    QTimer timer_;
    QElapsedTimer since_;
    qint64 maxGap_ = 0;
};

double cpuSeconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::string lastLineOf(const QString& output, const QString& prefix) {
    QString last;
    for (const QString& line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(prefix)) {
            last = line;
        }
    }
    return last.toStdString();
}

int run(const Options& options) {
    // The sample server as its own process, so that its work stays out of the figures. It keeps
    // every page it made, compressed too: a server that compressed each page anew would be, on
    // a small machine, what the run waits for.
    const kestrova::bench::ServerProcess server(
        KESTROVA_SAMPLE_SERVER_EXE, {"--newest", options.newest.toStdString(), "--cache-pages",
                                     std::to_string(monthCount(options) + 4)});
    std::cout << "server " << server.hostPort() << ", months " << options.fromYear << "-01 .. "
              << options.newest.toStdString() << std::endl;
    const std::uint64_t bytes = warmUp(server.hostPort(), options);
    std::cout << "warm-up: " << bytes << " bytes of HTML" << std::endl;

    ScratchFolder app("kestrova-bench-app-");
    ScratchFolder host("kestrova-bench-host-");
    fs::create_directories(host.path() / "MY_DATA" / "YOS_COM");
    fs::create_directories(host.path() / "MY_DATA" / "KEK_COM");
    std::ofstream(host.path() / "TFJV.EXE").flush();
    {
        const std::string& hostPort = server.hostPort();
        std::ofstream ini(kestrova::settingsFile(app.path()), std::ios::binary);
        ini << "[SYS_ENV]\r\nREVNIW=10\r\nMemberHost=" << hostPort
            << "\r\nRaceAuthorityHost=http://" << hostPort << "\r\n";
    }

    const kestrova::SsLogging log = kestrova::makeAppLog(app.path());
    kestrova::ui::Dialogs::answerAutomatically();
    kestrova::ui::frmTFLink window(kestrova::ui::MainWindowSetup{
        log, app.path(), kestrova::loadServerSettings(kestrova::settingsFile(app.path()))});
    window.Form_Load();
    window.show();
    {
        QEventLoop loading;
        QObject::connect(&window, &kestrova::ui::frmTFLink::loaded, &loading, &QEventLoop::quit);
        if (!window.isLoaded()) {
            loading.exec();
        }
    }
    auto* thisWeek = window.findChild<QListWidget*>(QStringLiteral("lst_ThisW"));
    thisWeek->clearSelection();
    thisWeek->item(options.fromYear - 2010)->setSelected(true);
    window.findChild<QPushButton*>(QStringLiteral("cmd_On"))->click();
    window.findChild<QListWidget*>(QStringLiteral("lst_YKcom"))->selectAll();
    window.findChild<QLineEdit*>(QStringLiteral("txt_TFJVPath"))
        ->setText(kestrova::ui::qtPath(host.path()));

    StallMeter stalls(window);
    QEventLoop running;
    QObject::connect(&window, &kestrova::ui::frmTFLink::exportFinished, &running,
                     &QEventLoop::quit);
    QElapsedTimer clock;
    stalls.start();
    const double guiCpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    const double processCpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    clock.start();
    window.findChild<QPushButton*>(QStringLiteral("cmd_TFJVOut"))->click();
    running.exec();
    const double seconds = static_cast<double>(clock.nsecsElapsed()) * 1e-9;
    stalls.stop();
    std::printf("  CPU: %.2f s in all, %.2f s of it on the GUI thread\n",
                cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processCpu,
                cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - guiCpu);
    const auto& result = window.lastResult();
    if (!result.complete()) {
        std::cerr << "the window's export did not finish cleanly (" << result.filesFailed
                  << " files failed)\n";
        return 1;
    }
    const auto lines = window.findChild<QListWidget*>(QStringLiteral("lst_Log"))->count();
    std::printf("window: %.2f s wall, %lld files written, %d activity lines\n", seconds,
                static_cast<long long>(result.filesWritten), lines);

    kestrova::test::ChildProcess plain(
        {KESTROVA_BENCH_EXPORT_EXE, "--newest", options.newest.toStdString(), "--from",
         std::to_string(options.fromYear), "--defaults"},
        {.out = kestrova::test::ChildOutput::Pipe, .err = kestrova::test::ChildOutput::Pipe});
    plain.readToEnd(std::chrono::hours(2));
    if (plain.wait().exitCode != 0) {
        std::cerr << "bench_export failed:\n" << plain.err() << "\n";
        return 1;
    }
    host.remove();
    const std::string exportLine =
        lastLineOf(QString::fromStdString(plain.out()), QStringLiteral("export: "));
    std::printf(
        "targets: max stall <= 100 ms, window >= 90 %% of export (MB = 1024 * 1024 bytes)\n");
    std::printf("%s\n", exportLine.c_str());
    std::printf("window: %.1f MB/s, max stall %lld ms\n",
                static_cast<double>(bytes) / kestrova::bench::kMiB / seconds,
                static_cast<long long>(stalls.maxGapMs()));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    try {
        return run(parseOptions(QApplication::arguments()));
    } catch (const std::exception& error) {
        std::cerr << "bench_window: " << error.what() << "\n";
        return 1;
    }
}
