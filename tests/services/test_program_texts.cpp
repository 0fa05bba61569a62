#include <filesystem>

#include <gtest/gtest.h>

#include "base/ss_logging.h"
#include "services/app_folder.h"
#include "services/app_settings.h"
#include "services/program_texts.h"
#include "services/update_check.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"

namespace kestrova {
namespace {

using test::readFile;
using test::RecordingUi;
using test::TempDir;
using test::writeFile;

TEST(AppFolder, IsTheProgramsFolderWhereItCanBeWritten) {
    TempDir program;
    TempDir user;
    const AppFolder chosen = chooseAppFolder(program.path(), user / "Kestrova");
    EXPECT_EQ(chosen.folder, program.path());
    EXPECT_FALSE(chosen.perUser);
    EXPECT_FALSE(std::filesystem::exists(user / "Kestrova"));
    EXPECT_TRUE(std::filesystem::is_empty(program.path()));  // the probe leaves nothing
}

TEST(AppFolder, UserFolderStandsInAndTakesTheSettingsThatCameWithTheProgram) {
    TempDir program;
    TempDir user;
    writeFile(settingsFile(program.path()), "[SYS_ENV]\r\nREVNIW=10\r\n");
    const AppFolder chosen = chooseAppFolder(program.path(), user / "Kestrova", false);
    EXPECT_EQ(chosen.folder, user / "Kestrova");
    EXPECT_TRUE(chosen.perUser);
    EXPECT_EQ(readFile(settingsFile(chosen.folder)), "[SYS_ENV]\r\nREVNIW=10\r\n");

    // Settings the user has changed since are never overwritten by the shipped ones.
    writeFile(settingsFile(chosen.folder), "[USE_OPT1]\r\nTFJV_Path=/x\r\n");
    chooseAppFolder(program.path(), user / "Kestrova", false);
    EXPECT_EQ(readFile(settingsFile(chosen.folder)), "[USE_OPT1]\r\nTFJV_Path=/x\r\n");
}

TEST(AppFolder, AProgramInstalledUnderUsrKeepsItsFilesInTheUserFolderEvenForRoot) {
    TempDir user;
    for (const char* installed : {"/usr/bin", "/usr/local/bin/"}) {
        const AppFolder chosen = chooseAppFolder(installed, user / "Kestrova");
        EXPECT_EQ(chosen.folder, user / "Kestrova") << installed;
        EXPECT_TRUE(chosen.perUser) << installed;
    }
    EXPECT_FALSE(std::filesystem::exists("/usr/bin/Kestrova.Ini"));
}

TEST(AppFolder, UnwritableFolderIsNamedInTheLogLine) {
    const AppFolder chosen = chooseAppFolder("/proc", "");
    EXPECT_EQ(chosen.folder, "/proc");
    EXPECT_FALSE(canWriteIn("/proc"));
    EXPECT_EQ(appFolderLogLine({"/home/u/.local/share/Kestrova", true}, "/opt/kestrova"),
              "プログラムのフォルダ（/opt/kestrova）に書き込めないため、ユーザーのデータフォルダを"
              "使用します：/home/u/.local/share/Kestrova");
}

TEST(MDir, CreatesOnlyTheMissingFoldersAndLeavesTheOthersAlone) {
    TempDir app;
    SsLogging log;
    log.Enabled = false;
    RecordingUi ui;
    for (const char* name : {"temp", "backup", "icons", "appdata"}) {
        std::filesystem::create_directory(app / name);
    }
    writeFile(app / "temp" / "kept.txt", "x");
    ASSERT_TRUE(mDir(app.path(), log, ui));
    EXPECT_TRUE(std::filesystem::is_directory(app / "logs"));
    EXPECT_EQ(readFile(app / "temp" / "kept.txt"), "x");
    EXPECT_TRUE(mDir(app.path(), log, ui));
    EXPECT_TRUE(ui.warnings.empty());
}

TEST(MDir, AFileInTheWayIsAFailureWithItsWarning) {
    TempDir app;
    SsLogging log;
    log.LogFilePath = app / "elsewhere";
    RecordingUi ui;
    writeFile(app / "backup", "not a folder");
    EXPECT_FALSE(mDir(app.path(), log, ui));
    ASSERT_EQ(ui.warnings.size(), 1u);
    EXPECT_EQ(ui.warnings[0].rfind("mDir<<フォルダを作成できませんでした。", 0), 0u);
    EXPECT_NE(ui.warnings[0].find("backup"), std::string::npos);
    // Folders before the failing one stay.
    EXPECT_TRUE(std::filesystem::is_directory(app / "temp"));
    EXPECT_FALSE(std::filesystem::exists(app / "icons"));
}

TEST(UpdateOffer, StampOfOneCharacterShowsWhatThereIsOfItsDate) {
    // "3" compares greater than the build's stamp, so it is offered.
    UpdateCheck check;
    check.UpdateInfo = {"Kestrova", "1.0.3", "3", "a", "b", "c"};
    EXPECT_NE(updateOfferMessage(check, "1.0.2").find("リリース日：3年月日\r\n"),
              std::string::npos);
}

TEST(PageAddress, HelpAndDataDescriptionAlwaysOverPlainHttp) {
    ServerSettings settings;
    settings.schemeSetting = "9";
    settings.publicHost = "127.0.0.1:8080";
    settings.memberHost = "127.0.0.1:9090";
    EXPECT_EQ(pageAddress(1, settings), "http://127.0.0.1:8080/archives/24799632.html");
    EXPECT_EQ(pageAddress(5, settings), "http://127.0.0.1:9090/kestrova/monitor/data_explain.pdf");
    EXPECT_EQ(pageAddress(2, settings), std::nullopt);
    EXPECT_EQ(pageAddress(0, settings), std::nullopt);
}

}  // namespace
}  // namespace kestrova
