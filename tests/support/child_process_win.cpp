#include <windows.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <io.h>
#include <psapi.h>
#include <stdexcept>
#include <thread>
#include <utility>

#include "support/child_process.h"

namespace kestrova::test {

const bool kFileSizeLimits = false;

bool stopSignalsReachChildren() {
    // Children share this process's console, to which the Ctrl+Break goes.
    return GetConsoleCP() != 0;
}

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// SIGKILL's number on POSIX systems: no console event, the child ends at once.
constexpr int kKill = 9;

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) {
        return {};
    }
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                        length);
    return wide;
}

/// One argument as the C runtime's command-line parser reads it back.
void appendQuoted(std::wstring& line, const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            line.append(backslashes * 2 + 1, L'\\');
        } else {
            line.append(backslashes, L'\\');
        }
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

/// A pipe whose ends close themselves unless taken; the write end is inheritable.
class Pipe {
  public:
    Pipe() {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        if (!CreatePipe(&read_, &write_, &inherit, 0)) {
            throw std::runtime_error("no pipe");
        }
        SetHandleInformation(read_, HANDLE_FLAG_INHERIT, 0);
    }
    ~Pipe() {
        for (const HANDLE handle : {read_, write_}) {
            if (handle != nullptr) {
                CloseHandle(handle);
            }
        }
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    HANDLE writeEnd() const { return write_; }
    void closeReadEnd() { CloseHandle(std::exchange(read_, nullptr)); }
    /// The read end as a C runtime descriptor.
    int takeReadEnd() {
        return _open_osfhandle(reinterpret_cast<std::intptr_t>(std::exchange(read_, nullptr)),
                               _O_RDONLY | _O_BINARY);
    }

  private:
    HANDLE read_ = nullptr;
    HANDLE write_ = nullptr;
};

HANDLE handleOf(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

/// Appends what has arrived on `fd` to `text` without waiting; false at its end, when it
/// has been closed.
bool readAvailable(int& fd, std::string& text, bool& gotSome) {
    DWORD available = 0;
    if (!PeekNamedPipe(handleOf(fd), nullptr, 0, nullptr, &available, nullptr)) {
        _close(fd);
        fd = -1;
        return false;
    }
    if (available == 0) {
        return true;
    }
    std::string buffer(available, '\0');
    DWORD got = 0;
    if (!ReadFile(handleOf(fd), buffer.data(), available, &got, nullptr)) {
        _close(fd);
        fd = -1;
        return false;
    }
    text.append(buffer, 0, got);
    gotSome = gotSome || got > 0;
    return true;
}

/// Ctrl+Break to the process group of `pid`, from this process's console or, when the child
/// has another one, from the child's for the moment.
bool sendBreak(DWORD pid) {
    if (GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, pid)) {
        return true;
    }
    if (GetConsoleWindow() != nullptr || !AttachConsole(pid)) {
        return false;
    }
    const bool sent = GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, pid);
    FreeConsole();
    return sent;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& args, const ChildOptions& options) {
    if (args.empty()) {
        throw std::runtime_error("no program to start");
    }
    std::wstring commandLine;
    for (const std::string& arg : args) {
        if (!commandLine.empty()) {
            commandLine += L' ';
        }
        appendQuoted(commandLine, widen(arg));
    }
    std::optional<Pipe> out;
    std::optional<Pipe> err;
    const auto outputHandle = [](ChildOutput output, std::optional<Pipe>& pipe, DWORD standard) {
        if (output == ChildOutput::Inherited) {
            return GetStdHandle(standard);
        }
        pipe.emplace();
        if (output == ChildOutput::ClosedPipe) {
            pipe->closeReadEnd();
        }
        return pipe->writeEnd();
    };
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.StartupInfo.hStdOutput = outputHandle(options.out, out, STD_OUTPUT_HANDLE);
    startup.StartupInfo.hStdError = outputHandle(options.err, err, STD_ERROR_HANDLE);

    // Only this child's pipe ends are inherited: another child's would keep its pipes open.
    std::vector<HANDLE> inherited;
    for (const HANDLE handle : {startup.StartupInfo.hStdOutput, startup.StartupInfo.hStdError}) {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE &&
            std::find(inherited.begin(), inherited.end(), handle) == inherited.end() &&
            ((out && handle == out->writeEnd()) || (err && handle == err->writeEnd()))) {
            inherited.push_back(handle);
        }
    }
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> attributes(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    const bool limited =
        !inherited.empty() && InitializeProcThreadAttributeList(list, 1, 0, &size) &&
        UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited.data(),
                                  inherited.size() * sizeof(HANDLE), nullptr, nullptr);
    if (limited) {
        startup.lpAttributeList = list;
    }

    PROCESS_INFORMATION process{};
    // A process group of its own, so that a Ctrl+Break reaches the child alone.
    const DWORD flags = CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT |
                        (limited ? EXTENDED_STARTUPINFO_PRESENT : 0);
    const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, flags,
                                        nullptr, nullptr, &startup.StartupInfo, &process);
    if (limited) {
        DeleteProcThreadAttributeList(list);
    }
    if (!started) {
        throw std::runtime_error("cannot start " + args[0]);
    }
    CloseHandle(process.hThread);
    pid_ = static_cast<pid_t>(process.dwProcessId);
    process_ = reinterpret_cast<std::intptr_t>(process.hProcess);
    if (options.out == ChildOutput::Pipe) {
        outPipe_ = out->takeReadEnd();
    }
    if (options.err == ChildOutput::Pipe) {
        errPipe_ = err->takeReadEnd();
    }
}

ChildProcess::~ChildProcess() {
    if (!end_) {
        kill(kKill);
        reap(true);
    }
    for (const int fd : {outPipe_, errPipe_}) {
        if (fd >= 0) {
            _close(fd);
        }
    }
    CloseHandle(reinterpret_cast<HANDLE>(process_));
}

void ChildProcess::kill(int signal) {
    if (end_) {
        return;
    }
    if ((signal == SIGINT || signal == SIGTERM) && sendBreak(static_cast<DWORD>(pid_))) {
        return;
    }
    if (TerminateProcess(reinterpret_cast<HANDLE>(process_), 1)) {
        killedBy_ = signal;
    }
}

std::optional<ChildEnd> ChildProcess::reap(bool block) {
    if (end_) {
        return end_;
    }
    const HANDLE process = reinterpret_cast<HANDLE>(process_);
    if (WaitForSingleObject(process, block ? INFINITE : 0) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    ChildEnd& end = end_.emplace();
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    if (killedBy_ != 0) {
        end.signal = killedBy_;
    } else {
        end.exitCode = static_cast<int>(code);
    }
    PROCESS_MEMORY_COUNTERS memory{};
    if (GetProcessMemoryInfo(process, &memory, sizeof memory)) {
        end.peakMemory = memory.PeakWorkingSetSize;
    }
    return end_;
}

std::optional<ChildEnd> ChildProcess::waitFor(milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (true) {
        if (auto end = reap(false)) {
            return end;
        }
        if (Clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(milliseconds(10));
    }
}

ChildEnd ChildProcess::wait() {
    return *reap(true);
}

bool ChildProcess::read(milliseconds timeout) {
    // Anonymous pipes cannot be waited on: look every few milliseconds.
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (outPipe_ < 0 && errPipe_ < 0) {
            return false;
        }
        bool gotSome = false;
        if (outPipe_ >= 0) {
            readAvailable(outPipe_, out_, gotSome);
        }
        if (errPipe_ >= 0) {
            readAvailable(errPipe_, err_, gotSome);
        }
        if (gotSome || Clock::now() >= deadline) {
            return outPipe_ >= 0 || errPipe_ >= 0 || gotSome;
        }
        std::this_thread::sleep_for(milliseconds(5));
    }
}

void ChildProcess::killNow() {
    kill(kKill);
}

pid_t endedProcessId() {
    ChildProcess child({"cmd.exe", "/c", "exit"});
    child.wait();
    return child.pid();
}

std::uint64_t ownPeakMemory() {
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    return memory.PeakWorkingSetSize;
}

}  // namespace kestrova::test
