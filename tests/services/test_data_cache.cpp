#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "base/atomic_file.h"
#include "services/data_cache.h"
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
    EXPECT_EQ(cache.clear(), 1u);
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
