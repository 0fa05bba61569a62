#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <sys/ioctl.h>
#include <unistd.h>

#include "cli/console.h"

namespace kestrova::cli {

namespace {

constexpr std::size_t kDefaultColumns = 80;

// Set by the signal handler; nothing else can be.
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int signal) {
    stopSignal = 1;
    // The next one is not asked twice.
    std::signal(signal, SIG_DFL);
}

}  // namespace

std::optional<std::size_t> stderrTerminalColumns() {
    if (isatty(STDERR_FILENO) == 0) {
        return std::nullopt;
    }
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return kDefaultColumns;
}

std::filesystem::path executableFolder() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return std::filesystem::current_path(error);
    }
    return exe.parent_path();
}

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    return {argv + std::min(argc, 1), argv + argc};
}

std::filesystem::path userDataFolder() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/') {
        return std::filesystem::path(data) / "Kestrova";
    }
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home != nullptr ? home : "/tmp") / ".local" / "share" / "Kestrova";
}

void installStopSignals() {
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
}

bool stopSignalled() {
    return stopSignal != 0;
}

}  // namespace kestrova::cli
