#include <cerrno>
#include <filesystem>
#include <iterator>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>

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

TEST(ErrorTexts, WhatUsersReadIsJapaneseWhateverFailed) {
    EXPECT_EQ(fileErrorReason(std::make_error_code(std::errc::file_too_large)),
              "ファイルサイズの上限を超えました");
    EXPECT_EQ(fileErrorReason(std::make_error_code(std::errc::too_many_symbolic_link_levels)),
              "シンボリックリンクは使えません");
    // No wording of its own: still Japanese, with the number for the log reader.
    EXPECT_EQ(fileErrorReason(std::make_error_code(std::errc::protocol_error)),
              "システムエラーが発生しました（エラー番号 " + std::to_string(EPROTO) + "）");
    EXPECT_EQ(describeError(std::bad_alloc()), "メモリが不足しています。");
    EXPECT_EQ(describeError(std::system_error(std::make_error_code(std::errc::no_space_on_device))),
              "ディスクの空き容量が足りません。");
    EXPECT_EQ(describeError(Error("日本語の説明", "English detail")), "日本語の説明");
    EXPECT_EQ(describeError(std::out_of_range("basic_string::substr")),
              "予期しないエラーが発生しました。(basic_string::substr)");
}

}  // namespace
}  // namespace kestrova
