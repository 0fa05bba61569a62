#include <charconv>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>
#include <zlib.h>

#include <gtest/gtest.h>

#include "base/atomic_file.h"
#include "services/data_cache.h"
#include "support/child_process.h"
#include "support/platform.h"
#include "support/temp_dir.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

DataCache::Entry entry(std::string body) {
    return {.etag = "\"abc\"",
            .lastModified = "Sun, 01 Feb 2015 00:00:00 GMT",
            .contentEncoding = "gzip",
            .contentType = "text/html; charset=Shift_JIS",
            .body = std::move(body)};
}

TEST(DataCache, KeepsAnAnswerWholeWithItsValidators) {
    test::TempDir dir;
    DataCache cache(dir / "cache", "127.0.0.1:8080");
    EXPECT_FALSE(cache.find("TF1501.html"));
    const std::string body("\x1f\x8b\x08\0binary\r\n\0bytes", 18);
    cache.store("TF1501.html", entry(body));
    const auto found = cache.find("TF1501.html");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->body, body);
    EXPECT_EQ(found->etag, "\"abc\"");
    EXPECT_EQ(found->lastModified, "Sun, 01 Feb 2015 00:00:00 GMT");
    EXPECT_EQ(found->contentEncoding, "gzip");
    EXPECT_EQ(found->contentType, "text/html; charset=Shift_JIS");
    // Another server's file is not this server's.
    EXPECT_FALSE(DataCache(dir / "cache", "member.kestrova.jp").find("TF1501.html"));
    EXPECT_EQ(cache.clear().removed, 1u);
    EXPECT_FALSE(cache.find("TF1501.html"));
}

TEST(DataCache, ADamagedOrHalfWrittenEntryIsDeletedNotUsed) {
    test::TempDir dir;
    DataCache cache(dir.path(), "h");
    const std::string body(5000, 'x');
    const auto file = dir / "TF1501.html.cache";
    for (const auto damage :
         {+[](std::string& b) { b[b.size() - 100] = 'y'; },
          +[](std::string& b) { b.resize(b.size() - 1); },
          +[](std::string& b) { b.resize(b.size() / 2); }, +[](std::string& b) { b += "z"; },
          +[](std::string& b) { b.replace(0, 8, "GARBAGE!"); }}) {
        cache.store("TF1501.html", entry(body));
        std::string bytes = readFile(file);
        damage(bytes);
        writeFile(file, bytes);
        EXPECT_FALSE(cache.find("TF1501.html"));
        EXPECT_FALSE(fs::exists(file));
    }
    // An entry renamed to another file's name is not that file.
    cache.store("TF1501.html", entry(body));
    fs::rename(file, dir / "TF1502.html.cache");
    EXPECT_FALSE(cache.find("TF1502.html"));
}

TEST(DataCache, AnEntryLargerThanAnyStoredIsDeletedUnread) {
    // A whole entry by its header and checksum, but beyond any body a download accepts.
    test::TempDir dir;
    const std::uint64_t length = DataCache::kMaxBodyBytes + (std::uint64_t{16} << 20);
    uLong crc = crc32(0L, Z_NULL, 0);
    const std::string zeros(1 << 20, '\0');
    for (std::uint64_t done = 0; done < length; done += zeros.size()) {
        crc = crc32(crc, reinterpret_cast<const Bytef*>(zeros.data()),
                    static_cast<uInt>(zeros.size()));
    }
    char hex[16];
    const auto end = std::to_chars(hex, hex + sizeof hex, crc, 16).ptr;
    const std::string header =
        "KESTROVA-DATACACHE 1\nhost: h\nfile: TF1501.html\nlength: " + std::to_string(length) +
        "\ncrc32: " + std::string(hex, end) + "\n\n";
    const auto file = dir / "TF1501.html.cache";
    writeFile(file, header);
    fs::resize_file(file, header.size() + length);  // sparse: no disk used
    DataCache cache(dir.path(), "h");
    EXPECT_FALSE(cache.find("TF1501.html"));
    EXPECT_FALSE(fs::exists(file));
    // Nor is such a body stored.
    cache.store("TF1501.html", entry(std::string(DataCache::kMaxBodyBytes + 1, 'x')));
    EXPECT_FALSE(fs::exists(file));
}

TEST(DataCache, NothingIsWrittenOrReadThroughALinkInPlaceOfAnEntry) {
    test::TempDir dir;
    const auto outside = dir / "outside.html";
    const auto file = dir / "cache" / "TF1501.html.cache";
    fs::create_directory(dir / "cache");
    DataCache cache(dir / "cache", "h");
    cache.store("TF1501.html", entry("whole"));
    // A link to a whole entry is not one: it is dropped, what it leads to stays.
    fs::rename(file, outside);
    if (!test::makeSymlink(outside, file)) {
        GTEST_SKIP() << test::kNoSymlinks;
    }
    EXPECT_FALSE(cache.find("TF1501.html"));
    EXPECT_FALSE(fs::is_symlink(file));
    EXPECT_TRUE(fs::exists(outside));

    // A 304 touches the entry, never the file a link leads to.
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24);
    fs::last_write_time(outside, old);
    ASSERT_TRUE(test::makeSymlink(outside, file));
    cache.touch("TF1501.html");
    EXPECT_EQ(fs::last_write_time(outside), old);

    // Storing replaces the link itself.
    const std::string kept = readFile(outside);
    cache.store("TF1501.html", entry("new"));
    EXPECT_EQ(readFile(outside), kept);
    EXPECT_FALSE(fs::is_symlink(file));
    ASSERT_TRUE(cache.find("TF1501.html"));
    EXPECT_EQ(cache.find("TF1501.html")->body, "new");
}

TEST(DataCache, TemporaryFilesOfAKilledRunGoWhenTheCacheIsOpened) {
    test::TempDir dir;
    const std::string ended =
        "TF1501.html.cache.kestrova-tmp-" + std::to_string(test::endedProcessId()) + "-7";
    const std::string older = "TF1502.html.cache.kestrova-tmp";
    const std::string running =
        "TF1503.html.cache.kestrova-tmp-" + std::to_string(test::currentProcessId()) + "-7";
    for (const auto& name : {ended, older, running}) {
        writeFile(dir / name, "half an entry");
        fs::last_write_time(dir / name, fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
    DataCache cache(dir.path(), "h");
    EXPECT_FALSE(fs::exists(dir / ended));
    EXPECT_FALSE(fs::exists(dir / older));
    EXPECT_TRUE(fs::exists(dir / running)) << "another run is writing it";
}

TEST(DataCache, ClearNamesWhatItCouldNotRemove) {
    test::TempDir dir;
    DataCache cache(dir.path(), "h");
    cache.store("TF1501.html", entry("x"));
    // Even root cannot remove a folder that is not empty.
    fs::create_directories(dir / "TF1502.html.cache" / "inside");
    const auto cleared = cache.clear();
    EXPECT_EQ(cleared.removed, 1u);
    EXPECT_EQ(cleared.failures, std::vector<std::string>{(dir / "TF1502.html.cache").string() +
                                                         ": フォルダが空ではありません"});
    EXPECT_EQ(DataCache(dir / "missing", "h").clear().failures.size(), 0u);
    writeFile(dir / "file", "");
    EXPECT_EQ(DataCache(dir / "file", "h").clear().failures.size(), 1u);
}

TEST(DataCache, TheEntriesUsedLongestAgoGoFirstBeyondTheLimit) {
    test::TempDir dir;
    DataCache cache(dir.path(), "h", 3 * 1250);  // three entries and their headers
    const auto age = [&](const char* name, int minutes) {
        fs::last_write_time(dir / (std::string(name) + ".cache"),
                            fs::file_time_type::clock::now() - std::chrono::minutes(minutes));
    };
    cache.store("TF1501.html", entry(std::string(1000, 'a')));
    age("TF1501.html", 30);
    cache.store("TF1502.html", entry(std::string(1000, 'b')));
    age("TF1502.html", 20);
    cache.store("TF1503.html", entry(std::string(1000, 'c')));
    age("TF1503.html", 10);
    cache.touch("TF1501.html");  // used again: now the newest
    cache.store("TF1504.html", entry(std::string(1000, 'd')));
    EXPECT_TRUE(cache.find("TF1501.html"));
    EXPECT_FALSE(cache.find("TF1502.html"));
    EXPECT_TRUE(cache.find("TF1503.html"));
    EXPECT_TRUE(cache.find("TF1504.html"));
}

TEST(DataCache, AFolderThatCannotBeWrittenIsReportedOnceThenLeftAlone) {
    test::TempDir dir;
    writeFile(dir / "cache", "a file where the folder should be");
    DataCache cache(dir / "cache", "h");
    EXPECT_THROW(cache.store("TF1501.html", entry("x")), FileError);
    EXPECT_NO_THROW(cache.store("TF1502.html", entry("x")));
    EXPECT_FALSE(cache.find("TF1501.html"));
}

}  // namespace
}  // namespace kestrova
