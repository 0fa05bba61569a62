#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <iterator>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/atomic_file.h"
#include "support/child_process.h"
#include "support/platform.h"
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
    // As the system shows them (Windows keeps only whether the file may be written).
    const fs::perms before = fs::status(file).permissions();
    writeFileAtomically(file, "new");
    EXPECT_EQ(readFile(file), "new");
    EXPECT_EQ(fs::status(file).permissions(), before);
}

TEST(AtomicFile, ThroughALinkTheFileItPointsToIsReplaced) {
    namespace fs = std::filesystem;
    TempDir dir;
    const auto file = dir / "a.txt";
    writeFile(file, "old content");
    if (!test::makeSymlink(file, dir / "link")) {
        GTEST_SKIP() << test::kNoSymlinks;
    }
    writeFileAtomically(dir / "link", "via link");
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(readFile(file), "via link");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 2);
}

std::vector<std::string> namesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(AtomicFile, WritersOfOneFileAtOnceEachReplaceItWhole) {
    // The window and a scheduled kestrova-cli write the same settings file and cache.
    TempDir dir;
    const auto file = dir / "Kestrova.Ini";
    const std::string a(256 * 1024, 'a');
    const std::string b(256 * 1024, 'b');
    std::atomic<int> failures{0};
    const auto writer = [&](const std::string& bytes) {
        for (int i = 0; i < 150; ++i) {
            try {
                writeFileAtomically(file, bytes);
            } catch (const FileError&) {
                ++failures;
            }
        }
    };
    std::thread first(writer, a);
    std::thread second(writer, b);
    first.join();
    second.join();
    EXPECT_EQ(failures, 0);
    const std::string last = readFile(file);
    EXPECT_TRUE(last == a || last == b);
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"Kestrova.Ini"});
}

TEST(AtomicFile, TemporaryFilesThatAnEndedRunLeftGoWithTheNextWrite) {
    TempDir dir;
    const std::string ended = std::to_string(test::endedProcessId());
    const std::string running = std::to_string(test::currentProcessId());
    const auto anHourAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    for (const std::string& name :
         {std::string("Kestrova.Ini.kestrova-tmp"), "Kestrova.Ini.kestrova-tmp-" + ended + "-1",
          "Kestrova.Ini.kestrova-tmp-" + running + "-2",
          "other.txt.kestrova-tmp-" + ended + "-3"}) {
        writeFile(dir / name, "half");
        std::filesystem::last_write_time(dir / name, anHourAgo);
    }
    // Just written: a writer on another machine, whose process this one cannot see.
    const std::string fresh = "Kestrova.Ini.kestrova-tmp-" + ended + "-4";
    writeFile(dir / fresh, "half");
    writeFileAtomically(dir / "Kestrova.Ini", "[S]\r\n");
    // A running writer's file, a fresh one and another file's stay.
    std::vector<std::string> kept{"Kestrova.Ini", "Kestrova.Ini.kestrova-tmp-" + running + "-2",
                                  fresh, "other.txt.kestrova-tmp-" + ended + "-3"};
    std::sort(kept.begin(), kept.end());  // the process ids may sort either way
    EXPECT_EQ(namesIn(dir.path()), kept);
}

TEST(AtomicFile, OnlyARegularFileIsReplaced) {
    // As root a rename would put a plain file in place of /dev/null; a FIFO shows the same.
    namespace fs = std::filesystem;
    TempDir dir;
    const auto fifo = dir / "pipe";
    if (!test::makeFifo(fifo)) {
        GTEST_SKIP() << test::kNoFifos;
    }
    ASSERT_TRUE(test::makeSymlink(fifo, dir / "link"));
    fs::create_directory(dir / "folder");
    for (const char* name : {"pipe", "link", "folder"}) {
        try {
            writeFileAtomically(dir / name, "x");
            ADD_FAILURE() << name << " replaced";
        } catch (const FileError& error) {
            EXPECT_NE(std::string(error.what()).find("ファイルの書き込みに失敗しました。"),
                      std::string::npos);
        }
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"folder", "link", "pipe"}));
    try {
        writeFileAtomically(fifo, "x");
        ADD_FAILURE() << "pipe replaced";
    } catch (const FileError& error) {
        EXPECT_EQ(std::string(error.what()), "ファイルの書き込みに失敗しました。(" + fifo.string() +
                                                 ": 通常のファイルではないため置き換えません)");
    }
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
