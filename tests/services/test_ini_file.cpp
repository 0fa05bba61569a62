#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/cp932.h"
#include "services/app_settings.h"
#include "services/ini_file.h"
#include "support/platform.h"
#include "support/temp_dir.h"

namespace kestrova {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

class IniFile : public ::testing::Test {
  protected:
    std::string read(std::string_view section, std::string_view key,
                     std::string_view def = "") const {
        IniValue value = std::string();
        EXPECT_TRUE(GetIniSetting(ini, section, key, def, value));
        const auto* text = std::get_if<std::string>(&value);
        return text ? *text : "<not text>";
    }

    TempDir dir;
    std::filesystem::path ini = dir / "Kestrova.Ini";
};

TEST_F(IniFile, ReadsHandWrittenFileWithOddSpacingQuotesAndComments) {
    writeFile(ini,
              "orphan=before any section\r\n"
              "; a comment\r\n"
              "  [ sys_env ]  trailing words\r\n"
              "\tREVNIW \t=  10  \r\n"
              "Quoted = \" spaced value \"\r\n"
              "Single='x'\r\n"
              "Unmatched=\"abc\r\n"
              "  ;M_Top=1\r\n"
              "#hash=data\r\n"
              "line without equals\r\n"
              "Semi=a;b\r\n");
    EXPECT_EQ(read("SYS_ENV", "revniw"), "10");
    EXPECT_EQ(read("Sys_Env", "QUOTED"), " spaced value ");
    EXPECT_EQ(read("SYS_ENV", "Single"), "x");
    EXPECT_EQ(read("SYS_ENV", "Unmatched"), "\"abc");
    EXPECT_EQ(read("SYS_ENV", "M_Top", "none"), "none");
    EXPECT_EQ(read("SYS_ENV", "#hash"), "data");
    EXPECT_EQ(read("SYS_ENV", "Semi"), "a;b");
    EXPECT_EQ(read("SYS_ENV", "orphan", "none"), "none");
}

TEST_F(IniFile, ReadsLfOnlyFilesAndSectionsWithoutClosingBracket) {
    // "‐" is 0x81 0x5D in CP932: its trail byte must not end the section name.
    writeFile(ini, "[USE_OPT1\nTFJV_Path=C:\\TFJV\n[A" + toCp932("‐").bytes + "B]\nk=v\n");
    EXPECT_EQ(read("USE_OPT1", "TFJV_Path"), "C:\\TFJV");
    EXPECT_EQ(read("A‐B", "k"), "v");
}

TEST_F(IniFile, ALoneCrEndsALineAsTheLfAndCrLfDo) {
    writeFile(ini, "[SYS_ENV]\rM_Top=10\rM_Left=20\r[USE_OPT1]\nTFJV_Path=C:\\TFJV\r\n");
    EXPECT_EQ(read("SYS_ENV", "M_Top"), "10");
    EXPECT_EQ(read("SYS_ENV", "M_Left"), "20");
    EXPECT_EQ(read("USE_OPT1", "TFJV_Path"), "C:\\TFJV");

    // A new key joins its own section; every line keeps its own ending.
    ASSERT_TRUE(WriteIniSetting(ini, "SYS_ENV", "REVNIW", "10"));
    EXPECT_EQ(readFile(ini),
              "[SYS_ENV]\rM_Top=10\rM_Left=20\rREVNIW=10\r\n[USE_OPT1]\nTFJV_Path=C:\\TFJV\r\n");
    ASSERT_TRUE(WriteIniSetting(ini, "SYS_ENV", "M_Top", "11"));
    EXPECT_EQ(read("SYS_ENV", "M_Top"), "11");
    EXPECT_EQ(read("SYS_ENV", "M_Left"), "20");
}

TEST_F(IniFile, FirstMatchingSectionAndKeyWin) {
    writeFile(ini, "[A]\r\nk=1\r\nk=2\r\n[B]\r\nx=b\r\n[a]\r\nk=3\r\nonlyLater=4\r\n");
    EXPECT_EQ(read("A", "k"), "1");
    EXPECT_EQ(read("A", "onlyLater", "none"), "none");

    // Writes go where reads look, so a written value reads back.
    ASSERT_TRUE(WriteIniSetting(ini, "a", "onlyLater", "5"));
    EXPECT_EQ(read("A", "onlyLater"), "5");
    EXPECT_EQ(readFile(ini),
              "[A]\r\nk=1\r\nk=2\r\nonlyLater=5\r\n[B]\r\nx=b\r\n[a]\r\nk=3\r\nonlyLater=4\r\n");
}

TEST_F(IniFile, CutsLongValuesAt255BytesWithoutSplittingACharacter) {
    const std::string a253(253, 'a');
    writeFile(ini, "[S]\r\nascii=" + std::string(300, 'x') + "\r\nsplit=" + a253 + "b" +
                       toCp932("あ").bytes + "\r\nfits=" + toCp932(a253 + "あz").bytes + "\r\n");
    EXPECT_EQ(read("S", "ascii"), std::string(255, 'x'));
    EXPECT_EQ(read("S", "split"), a253 + "b");  // "あ" would need bytes 255 and 256
    EXPECT_EQ(read("S", "fits"), a253 + "あ");
}

TEST_F(IniFile, EmptyOrMissingValuesGiveTheDefault) {
    writeFile(ini, "[S]\r\nempty=\r\nquotes=\"\"\r\n");
    EXPECT_EQ(read("S", "empty", "d"), "d");
    EXPECT_EQ(read("S", "quotes"), "");

    // An empty value is the default as text, even for a numeric target.
    IniValue number = std::int32_t{5};
    ASSERT_TRUE(GetIniSetting(ini, "S", "empty", "", number));
    EXPECT_EQ(number, IniValue(std::string()));

    // A missing key's default goes through the conversion, trailing spaces removed.
    number = std::int32_t{5};
    ASSERT_TRUE(GetIniSetting(ini, "S", "missing", "12  ", number));
    EXPECT_EQ(number, IniValue(std::int32_t{12}));
}

TEST_F(IniFile, MissingFileReadsAsMissingKeysAndUnreadableFileFails) {
    EXPECT_EQ(read("SYS_ENV", "REVNIW", "dflt"), "dflt");
    EXPECT_EQ(readIniText(ini, "SYS_ENV", "REVNIW"), "");
    EXPECT_FALSE(std::filesystem::exists(ini));

    std::filesystem::create_directory(ini);
    IniValue value = std::int32_t{7};
    EXPECT_FALSE(GetIniSetting(ini, "SYS_ENV", "REVNIW", "", value));
    EXPECT_EQ(value, IniValue(std::int32_t{7}));
    EXPECT_FALSE(WriteIniSetting(ini, "SYS_ENV", "REVNIW", "10"));
}

TEST_F(IniFile, AFileThatCannotBeReadIsRefusedNotReadAsTheBuiltInHosts) {
    // No permission reads the same, but root reads anyway: a folder and a FIFO stand in. The
    // FIFO is not waited on.
    std::filesystem::create_directory(ini);
    EXPECT_EQ(loadServerSettings(ini).problems,
              std::vector<std::string>{"設定ファイルを読み込めませんでした。(" + ini.string() +
                                       ": 同じ名前のフォルダがあります)"});
    std::filesystem::remove(ini);
    if (!test::makeFifo(ini)) {
        GTEST_SKIP() << test::kNoFifos;
    }
    const auto settings = loadServerSettings(ini);
    EXPECT_EQ(settings.problems,
              std::vector<std::string>{"設定ファイルを読み込めませんでした。(" + ini.string() +
                                       ": 通常のファイルではありません)"});
    EXPECT_EQ(settings.schemeSetting, "");
    IniValue value = std::string("kept");
    EXPECT_FALSE(GetIniSetting(ini, "SYS_ENV", "REVNIW", "", value));
    EXPECT_EQ(value, IniValue(std::string("kept")));
    EXPECT_FALSE(WriteIniSetting(ini, "SYS_ENV", "REVNIW", "10"));
    EXPECT_TRUE(std::filesystem::is_fifo(ini));
}

TEST_F(IniFile, WritesCreateFileSectionsAndKeysInCp932WithCrLf) {
    ASSERT_TRUE(WriteIniSetting(ini, "SYS_ENV", "M_Top", "1440"));
    EXPECT_EQ(readFile(ini), "[SYS_ENV]\r\nM_Top=1440\r\n");

    ASSERT_TRUE(WriteIniSetting(ini, "SYS_ENV", "M_Left", "720"));
    ASSERT_TRUE(WriteIniSetting(ini, "USE_OPT1", "TFJV_Path", "C:\\競馬\\TFJV"));
    ASSERT_TRUE(WriteIniSetting(ini, "sys_env", "m_top", " 2880 "));
    EXPECT_EQ(readFile(ini),
              "[SYS_ENV]\r\nM_Top= 2880 \r\nM_Left=720\r\n[USE_OPT1]\r\n"
              "TFJV_Path=C:\\" +
                  toCp932("競馬").bytes + "\\TFJV\r\n");
    EXPECT_EQ(read("USE_OPT1", "TFJV_Path"), "C:\\競馬\\TFJV");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
        << "no temporary file may be left behind";
}

TEST_F(IniFile, WriteLeavesEveryOtherLineByteForByte) {
    const std::string before =
        "; settings\r\n"
        "stray line\n"
        "[SYS_ENV]\r\n"
        "  M_Top = 100 \r\n"
        "REVNIW=10\n"
        "; trailing comment of the section\r\n"
        "\r\n"
        "[USE_OPT1]\n"
        "TFJV_DTSL=000\t\n"
        "\xE0";  // last line without line end, not valid CP932
    writeFile(ini, before);
    ASSERT_TRUE(WriteIniSetting(ini, "SYS_ENV", "M_Top", "200"));
    ASSERT_TRUE(WriteIniSetting(ini, "SYS_ENV", "M_Left", "5"));
    ASSERT_TRUE(WriteIniSetting(ini, "USE_OPT1", "TFJV_YSCM", "1010101010"));
    ASSERT_TRUE(WriteIniSetting(ini, "NEW", "k", "v"));
    EXPECT_EQ(readFile(ini),
              "; settings\r\n"
              "stray line\n"
              "[SYS_ENV]\r\n"
              "M_Top=200\r\n"
              "REVNIW=10\n"
              "M_Left=5\r\n"
              "; trailing comment of the section\r\n"
              "\r\n"
              "[USE_OPT1]\n"
              "TFJV_DTSL=000\t\n"
              "TFJV_YSCM=1010101010\r\n"
              "\xE0\r\n"
              "[NEW]\r\n"
              "k=v\r\n");
}

TEST_F(IniFile, WriteFailsWithoutTouchingAnything) {
    EXPECT_FALSE(WriteIniSetting(dir / "missing" / "Kestrova.Ini", "S", "k", "v"));
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));

    writeFile(dir / "plain", "x");
    EXPECT_FALSE(WriteIniSetting(dir / "plain" / "Kestrova.Ini", "S", "k", "v"));

    const std::string before = "[S]\r\nk=old\r\n";
    writeFile(ini, before);
    EXPECT_FALSE(WriteIniSetting(ini, "S", "k", "two\r\nlines")) << "would add a line";
    EXPECT_FALSE(WriteIniSetting(ini, "S", "k", "한국")) << "would be stored as ??";
    // Stored as look-alikes that read back as other characters (found by fuzzing).
    EXPECT_FALSE(WriteIniSetting(ini, "S", "k", "C:\xC2\xA5TFJV")) << "¥ would read back as \\";
    EXPECT_FALSE(WriteIniSetting(ini, "S\xE3\x80\x9C", "k", "v")) << "〜 would read back as ～";
    EXPECT_FALSE(WriteIniSetting(ini, "S]", "k", "v"));
    EXPECT_FALSE(WriteIniSetting(ini, "S", "k=x", "v"));
    EXPECT_FALSE(WriteIniSetting(ini, "S", "", "v"));

    // The read-only attribute stops even an administrator's write.
    std::filesystem::permissions(
        ini, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    EXPECT_FALSE(WriteIniSetting(ini, "S", "k", "new"));
    EXPECT_EQ(readFile(ini), before);
}

TEST_F(IniFile, WriteIntoReadOnlyFolderFails) {
    if (test::permissionsIgnored()) {
        GTEST_SKIP() << "root may write into a read-only folder";
    }
    if (!test::folderPermissionsStopWrites()) {
        GTEST_SKIP() << "a Windows folder's read-only attribute does not stop writes into it";
    }
    writeFile(ini, "[S]\r\nk=old\r\n");
    std::filesystem::permissions(
        dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_FALSE(WriteIniSetting(ini, "S", "k", "new"));
    EXPECT_FALSE(WriteIniSetting(dir / "other.ini", "S", "k", "new"));
    EXPECT_EQ(readFile(ini), "[S]\r\nk=old\r\n");
}

TEST(ConvValueType, ConvertsByTheTypeOnEntry) {
    const auto conv = [](IniValue target, std::string_view source) {
        ConvValueType(target, source);
        return target;
    };
    EXPECT_EQ(conv(std::int32_t{}, "12"), IniValue(std::int32_t{12}));
    EXPECT_EQ(conv(std::int32_t{}, "12a"), IniValue(std::int16_t{0}));
    EXPECT_EQ(conv(std::int32_t{}, " -7 "), IniValue(std::int32_t{-7}));
    EXPECT_EQ(conv(std::int32_t{}, "1e3"), IniValue(std::int32_t{1000}));
    EXPECT_EQ(conv(std::int16_t{}, "2.5"), IniValue(std::int16_t{2}));  // halves to even
    EXPECT_EQ(conv(std::int16_t{}, "3.5"), IniValue(std::int16_t{4}));
    EXPECT_EQ(conv(std::int16_t{9}, "40000"), IniValue(std::int16_t{9}));  // overflow: unchanged
    EXPECT_EQ(conv(std::int16_t{}, ""), IniValue(std::int16_t{0}));
    EXPECT_EQ(conv(std::int16_t{}, "."), IniValue(std::int16_t{0}));
    EXPECT_EQ(conv(std::int16_t{}, "inf"), IniValue(std::int16_t{0}));
    EXPECT_EQ(conv(double{}, "1440.5"), IniValue(1440.5));
    EXPECT_EQ(conv(float{}, "-.25"), IniValue(-0.25f));
    EXPECT_EQ(conv(Currency{}, "1.23456"), IniValue(Currency{12346}));
    EXPECT_EQ(conv(double{}, "1e400"), IniValue(std::int16_t{0}));  // not a number at all

    using namespace std::chrono;
    EXPECT_EQ(conv(IniDate{}, "2015/10/02"), IniValue(IniDate{2015y / October / 2d}));
    EXPECT_EQ(conv(IniDate{}, "2015-1-2 9:05:07"),
              IniValue(IniDate{2015y / January / 2d, 9h + 5min + 7s}));
    EXPECT_EQ(conv(IniDate{}, "9:05"), IniValue(IniDate{1899y / December / 30d, 9h + 5min}));
    EXPECT_EQ(conv(IniDate{}, "2015/02/29"), IniValue());
    EXPECT_EQ(conv(IniDate{}, "2015/10/02 25:00"), IniValue());
    EXPECT_EQ(conv(IniDate{}, "tomorrow"), IniValue());

    EXPECT_EQ(conv(std::string("old"), " text "), IniValue(std::string(" text ")));
    EXPECT_EQ(conv(true, "1"), IniValue(std::string()));
    EXPECT_EQ(conv(IniValue(), "1"), IniValue(std::string()));
}

TEST_F(IniFile, ServerSettingsComeFromSysEnv) {
    auto settings = loadServerSettings(ini);
    EXPECT_EQ(settings.schemeSetting, "9");
    EXPECT_EQ(settings.memberHost, kDefaultMemberHost);

    writeFile(ini,
              "[SYS_ENV]\r\nREVNIW= \" 10 \"\r\nMemberHost=127.0.0.1:8080\r\n"
              "PublicHost=evil.example/x?\r\nRaceAuthorityHost=\r\n");
    settings = loadServerSettings(ini);
    EXPECT_EQ(settings.schemeSetting, "10");
    EXPECT_EQ(settings.memberHost, "127.0.0.1:8080");
    EXPECT_EQ(settings.raceAuthorityHost, kDefaultRaceAuthorityHost);
    // A value that is not a host is reported, not quietly replaced by the real server.
    EXPECT_EQ(settings.publicHost, kDefaultPublicHost);
    EXPECT_EQ(settings.problems, std::vector<std::string>{
                                     "設定ファイルの [SYS_ENV] PublicHost の値が正しくありません: "
                                     "evil.example/x?"});

    for (const char* bad :
         {"host:", "host:0", "host:65536", "host:80:81", "[::1", "-x", "a b", "http://x"}) {
        writeFile(ini, std::string("[SYS_ENV]\r\nMemberHost=") + bad + "\r\n");
        EXPECT_EQ(loadServerSettings(ini).problems.size(), 1u) << bad;
    }
    writeFile(ini,
              "[SYS_ENV]\r\nMemberHost=[::1]:8443\r\nPublicHost=www.kestrova.jp\r\n"
              "RaceAuthorityHost=http://127.0.0.1:8080\r\n");
    settings = loadServerSettings(ini);
    EXPECT_TRUE(settings.problems.empty());
    EXPECT_EQ(settings.raceAuthorityHost, "http://127.0.0.1:8080");

    writeFile(ini, "[SYS_ENV]\r\nREVNIW=   \r\n");
    EXPECT_EQ(loadServerSettings(ini).schemeSetting, "9");

    std::filesystem::remove(ini);
    std::filesystem::create_directory(ini);
    EXPECT_EQ(loadServerSettings(ini).schemeSetting, "");
    EXPECT_EQ(settingsFile(dir.path()), ini);
}

}  // namespace
}  // namespace kestrova
