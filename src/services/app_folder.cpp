#include "services/app_folder.h"

#include <fstream>
#include <random>
#include <system_error>

#include "base/atomic_file.h"
#include "base/errors.h"
#include "base/ss_logging.h"
#include "base/user_interface.h"
#include "services/app_settings.h"

namespace kestrova {

namespace fs = std::filesystem;

bool canWriteIn(const fs::path& folder) {
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        return false;
    }
    std::random_device random;
    const fs::path probe = folder / (".kestrova-write-test-" + std::to_string(random()));
    {
        std::ofstream file(probe, std::ios::binary);
        if (!file || !(file << 'k') || !file.flush()) {
            return false;
        }
    }
    return fs::remove(probe, error) && !error;
}

AppFolder chooseAppFolder(const fs::path& executableFolder, const fs::path& userFolder) {
    return chooseAppFolder(executableFolder, userFolder, canWriteIn(executableFolder));
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
