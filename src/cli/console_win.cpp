#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <shlobj.h>

#include "base/windows_text.h"
#include "cli/console.h"

namespace kestrova::cli {

namespace {

constexpr std::size_t kDefaultColumns = 80;

std::atomic<bool> stopAsked{false};

BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            // The next one is not asked twice.
            if (stopAsked.exchange(true)) {
                return FALSE;  // the default handler ends the process
            }
            // Closing the console ends the process when the handler returns: wait for the
            // export to stop within the few seconds the system grants.
            if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT ||
                event == CTRL_SHUTDOWN_EVENT) {
                Sleep(4000);
            }
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

std::optional<std::size_t> stderrTerminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
        return std::nullopt;
    }
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? static_cast<std::size_t>(columns) : kDefaultColumns;
}

std::filesystem::path executableFolder() {
    std::wstring exe(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
        if (length == 0) {
            std::error_code error;
            return std::filesystem::current_path(error);
        }
        if (length < exe.size()) {
            exe.resize(length);
            return std::filesystem::path(exe).parent_path();
        }
        exe.resize(exe.size() * 2);
    }
}

std::vector<std::string> commandLineArguments(int, char**) {
    // argv holds the arguments in the ANSI code page, which cannot hold every name.
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide != nullptr && i < count; ++i) {
        args.push_back(windows::narrow(wide[i]));
    }
    LocalFree(wide);
    // The program writes UTF-8 and LF, as on other systems.
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return args;
}

std::filesystem::path userDataFolder() {
    PWSTR folder = nullptr;
    std::filesystem::path result;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &folder))) {
        result = std::filesystem::path(folder) / L"Kestrova";
    } else if (const wchar_t* local = _wgetenv(L"LOCALAPPDATA"); local != nullptr && *local) {
        result = std::filesystem::path(local) / L"Kestrova";
    } else {
        result = std::filesystem::temp_directory_path() / L"Kestrova";
    }
    CoTaskMemFree(folder);
    return result;
}

void installStopSignals() {
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool stopSignalled() {
    return stopAsked.load();
}

}  // namespace kestrova::cli
