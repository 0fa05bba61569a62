#include <sys/ioctl.h>
#include <unistd.h>

#include "cli/console.h"

namespace kestrova::cli {

namespace {
constexpr std::size_t kDefaultColumns = 80;
}

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

}  // namespace kestrova::cli
