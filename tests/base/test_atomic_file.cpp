#include <filesystem>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "base/atomic_file.h"
#include "support/temp_dir.h"

namespace kestrova {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

TEST(AtomicFile, ReplacesTheWholeFileKeepingItsPermissions) {
    namespace fs = std::filesystem;
    TempDir dir;
    const auto file = dir / "a.txt";
    writeFile(file, "old content");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    writeFileAtomically(file, "new");
    EXPECT_EQ(readFile(file), "new");
    EXPECT_EQ(fs::status(file).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    // Through a link the file it points to is replaced and the link stays.
    fs::create_symlink(file, dir / "link");
    writeFileAtomically(dir / "link", "via link");
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(readFile(file), "via link");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 2);
}

TEST(AtomicFile, FailureNamesTheFileInJapanese) {
    TempDir dir;
    const auto file = dir / "missing" / "a.txt";
    try {
        writeFileAtomically(file, "x");
        FAIL() << "no error";
    } catch (const FileError& error) {
        EXPECT_EQ(std::string(error.what()), "ファイルの書き込みに失敗しました。(" + file.string() +
                                                 ": フォルダが見つかりません)");
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace kestrova
