#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <string_view>

namespace kestrova {

class SsLogging;
class UserInterface;

/// Where the program keeps its settings, log and working folders.
struct AppFolder {
    std::filesystem::path folder;
    /// True when the executable's folder cannot be written (an installed program) and the
    /// per-user data folder stands in for it.
    bool perUser = false;
};

/// The application folder: the executable's folder, or `userFolder` where the executable's
/// folder cannot be written, as the platform's virtual store redirects an old program's
/// writes. A folder under /usr, where the package manager installs programs, counts as one
/// that cannot be written, also for root. A settings file that came with the program is
/// copied there on first use, so its server settings still apply.
AppFolder chooseAppFolder(const std::filesystem::path& executableFolder,
                          const std::filesystem::path& userFolder);
/// The same with the answer of canWriteIn(executableFolder) given.
AppFolder chooseAppFolder(const std::filesystem::path& executableFolder,
                          const std::filesystem::path& userFolder, bool executableFolderWritable);

/// True when a file can be created (and removed again) in `folder`.
bool canWriteIn(const std::filesystem::path& folder);

/// What a front end says once when the program cannot keep its own files in `appFolder`:
/// the log, and the download cache when `cacheUsed`. Each is tried as its writer would (a
/// missing folder is made) with a file created and removed. Empty when all can be written;
/// the program goes on either way. Lines joined by CR LF.
std::string unwritableFilesNotice(const std::filesystem::path& appFolder, bool cacheUsed);

/// The log line that names the folder in use.
std::string appFolderLogLine(const AppFolder& appFolder,
                             const std::filesystem::path& executableFolder);

/// The working folders below the application folder, in the order they are made.
inline constexpr std::array<std::string_view, 5> kWorkingFolders = {"logs", "temp", "backup",
                                                                    "icons", "appdata"};

/// mDir: creates the working folders that are missing (one level each). On a failure shows
/// the warning "mDir<<description>>" and returns false; folders made before it stay.
bool mDir(const std::filesystem::path& appFolder, const SsLogging& log, UserInterface& ui);

}  // namespace kestrova
