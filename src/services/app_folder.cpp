#include "services/app_folder.h"

#include <cerrno>
#include <fstream>
#include <system_error>

#include "base/atomic_file.h"
#include "base/errors.h"
#include "base/new_file.h"
#include "base/ss_logging.h"
#include "base/user_interface.h"
#include "services/app_log.h"
#include "services/app_settings.h"
#include "services/data_cache.h"

namespace kestrova {

namespace fs = std::filesystem;

namespace {

/// Creates a file in `folder` and removes it again. Its name is a temporary file's, so that
/// one left by a killed run is cleaned up as such.
std::error_code tryWritingIn(const fs::path& folder) {
    const fs::path probe = folder / (".kestrova-write-test" + uniqueTemporarySuffix());
    std::error_code error = writeNewFile(probe, "");
    if (!error) {
        fs::remove(probe, error);
    }
    return error;
}

/// As the log writer goes about a line: its folder made one level, its file appended to.
std::error_code logWriteProblem(const fs::path& appFolder) {
    const SsLogging log = makeAppLog(appFolder);
    std::error_code error;
    if (!fs::is_directory(log.LogFilePath, error)) {
        fs::create_directory(log.LogFilePath, error);
        if (error) {
            return error;
        }
    }
    const fs::path file = log.LogFilePath / log.FileName;
    const auto status = fs::status(file, error);
    if (fs::is_directory(status)) {
        return std::make_error_code(std::errc::is_a_directory);
    }
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        return std::make_error_code(std::errc::not_supported);
    }
    if (fs::exists(status)) {
        errno = 0;
        if (!std::ofstream(file, std::ios::binary | std::ios::app)) {
            return {errno != 0 ? errno : EACCES, std::generic_category()};
        }
    }
    return tryWritingIn(log.LogFilePath);
}

/// As the cache goes about an entry: its folder made with its parents.
std::error_code cacheWriteProblem(const fs::path& appFolder) {
    const fs::path folder = dataCacheFolder(appFolder);
    std::error_code error;
    fs::create_directories(folder, error);
    return error ? error : tryWritingIn(folder);
}

/// /usr belongs to the package manager and is shared read-only; a program installed there
/// never writes beside itself, even when run as root.
bool isUnderUsr(const fs::path& folder) {
    const fs::path normal = folder.lexically_normal();
    auto part = normal.begin();
    return part != normal.end() && *part == "/" && ++part != normal.end() && *part == "usr";
}

}  // namespace

bool canWriteIn(const fs::path& folder) {
    std::error_code error;
    return fs::is_directory(folder, error) && !tryWritingIn(folder);
}

std::string unwritableFilesNotice(const fs::path& appFolder, bool cacheUsed) {
    std::string notice;
    if (const auto error = logWriteProblem(appFolder)) {
        notice += "ログを書き込めません。(" + pathText(appFolder / "logs") + ": " +
                  fileErrorReason(error) + ")\r\n";
    }
    if (const auto error = cacheUsed ? cacheWriteProblem(appFolder) : std::error_code()) {
        notice += "ダウンロードのキャッシュを保存できません。(" +
                  pathText(dataCacheFolder(appFolder)) + ": " + fileErrorReason(error) + ")\r\n";
    }
    if (!notice.empty()) {
        notice += "このまま続けます。";
    }
    return notice;
}

AppFolder chooseAppFolder(const fs::path& executableFolder, const fs::path& userFolder) {
    return chooseAppFolder(executableFolder, userFolder,
                           !isUnderUsr(executableFolder) && canWriteIn(executableFolder));
}

AppFolder chooseAppFolder(const fs::path& executableFolder, const fs::path& userFolder,
                          bool executableFolderWritable) {
    if (executableFolderWritable || userFolder.empty()) {
        return {executableFolder, false};
    }
    std::error_code error;
    fs::create_directories(userFolder, error);
    const fs::path shipped = settingsFile(executableFolder);
    const fs::path own = settingsFile(userFolder);
    if (!fs::exists(own, error) && fs::is_regular_file(shipped, error)) {
        // Read errors leave the user with defaults, as a missing file would.
        fs::copy_file(shipped, own, error);
    }
    return {userFolder, true};
}

std::string appFolderLogLine(const AppFolder& appFolder, const fs::path& executableFolder) {
    if (!appFolder.perUser) {
        return "アプリケーションフォルダ：" + pathText(appFolder.folder);
    }
    return "プログラムのフォルダ（" + pathText(executableFolder) +
           "）に書き込めないため、ユーザーのデータフォルダを使用します：" +
           pathText(appFolder.folder);
}

bool mDir(const fs::path& appFolder, const SsLogging& log, UserInterface& ui) {
    log.TraceLog("mDir");
    for (const std::string_view name : kWorkingFolders) {
        const fs::path folder = appFolder / name;
        std::error_code error;
        if (fs::is_directory(folder, error)) {
            continue;
        }
        // One level only: a missing application folder is a failure, not something to build.
        if (!fs::create_directory(folder, error) || error) {
            const std::string text = errorText(
                "mDir",
                "フォルダを作成できませんでした。(" + pathText(folder) + ": " +
                    fileErrorReason(error ? error : std::make_error_code(std::errc::file_exists)) +
                    ")");
            log.ErrorLog(text);
            ui.warning(text);
            return false;
        }
    }
    return true;
}

}  // namespace kestrova
