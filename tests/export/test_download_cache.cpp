#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "expected_files.h"
#include "export/data_download.h"
#include "export/export_run.h"
#include "export_fixture.h"
#include "services/data_cache.h"

namespace kestrova::test {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

/// Past data 2015 (January and February, generated and served compressed when asked) with
/// every kind and comment, run again and again into a cleared host folder.
class DownloadCache : public ExportTest {
  protected:
    DownloadCache() { selection.commentEntries.fill(true); }

    using ExportTest::run;
    Files run() {
        for (const char* folder : {"KSTR_DATA", "MY_DATA/YOS_COM/2015", "MY_DATA/KEK_COM/2015"}) {
            fs::remove_all(host / folder);
        }
        ui = RecordingUi();
        const ExportResult result = runExportJob(
            *ctx,
            {.selection = selection, .appFolder = app, .useCache = useCache, .confirm = false});
        EXPECT_EQ(result.outcome, ExportOutcome::Finished) << logText();
        return hostFiles();
    }

    /// Without cache and without offering compression: what the program always wrote.
    Files plainRun() {
        useCache = false;
        const bool offered = ctx->http.offerCompression;
        ctx->http.offerCompression = false;
        Files files = run();
        ctx->http.offerCompression = offered;
        useCache = true;
        return files;
    }

    std::size_t count(const std::string& text) const {
        const std::string log = iconvFromCp932(logText());
        std::size_t n = 0;
        for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) {
            ++n;
        }
        return n;
    }

    ExportSelection selection = [this] {
        ExportSelection s = pastSelection("15");
        s.indexCodes = {"010", "250", "470"};
        return s;
    }();
    fs::path app = dir / "app";
    bool useCache = true;
    fs::path cacheFolder = app / "appdata" / "cache";
    /// The cache the runs use, as a look into it.
    std::optional<DataCache> cache{DataCache(cacheFolder, server.hostPort())};
};

TEST_F(DownloadCache, FilesAreTheSameWithoutItThroughItAndFromIt) {
    const Files plain = plainRun();
    ASSERT_GT(plain.size(), 100u);

    EXPECT_EQ(run(), plain);  // compressed, into an empty cache
    EXPECT_EQ(count("TF1501.html をサーバーから取得しました"), 2u);
    EXPECT_GE(count("、gzip）"), 2u);
    EXPECT_TRUE(fs::exists(cacheFolder / "TF1501.html.cache"));
    EXPECT_FALSE(fs::exists(cacheFolder / "TF1503.html.cache"));  // the 404 ends the pass

    const auto before = server.bytesSent();
    EXPECT_EQ(run(), plain);  // every month unchanged: 304 and the cached copy
    EXPECT_EQ(server.notModifiedCount(dataPath("TF1501.html")), 1u);
    EXPECT_EQ(server.notModifiedCount(dataPath("TF1502.html")), 1u);
    EXPECT_LT(server.bytesSent() - before, 10'000u);
    EXPECT_EQ(count("TF1502.html は変更がないため、キャッシュから読み込みました。"), 1u);
}

TEST_F(DownloadCache, AChangedMonthReplacesItsStaleEntry) {
    run();
    server.changeMonth(2015, 1);
    const Files changed = run();
    EXPECT_EQ(server.notModifiedCount(dataPath("TF1501.html")), 0u);
    EXPECT_EQ(server.notModifiedCount(dataPath("TF1502.html")), 1u);
    EXPECT_EQ(changed, plainRun());
    EXPECT_EQ(run(), changed);  // the new entry serves the next run
    EXPECT_EQ(server.notModifiedCount(dataPath("TF1501.html")), 1u);
}

TEST_F(DownloadCache, ADamagedEntryIsDownloadedAgain) {
    const Files first = run();
    const auto entry = cacheFolder / "TF1501.html.cache";
    std::string bytes = readFile(entry);
    bytes[bytes.size() / 2] ^= 0x20;
    writeFile(entry, bytes);

    EXPECT_EQ(run(), first);
    EXPECT_EQ(server.notModifiedCount(dataPath("TF1501.html")), 0u);
    EXPECT_TRUE(cache->find("TF1501.html"));  // whole again
}

TEST_F(DownloadCache, ABodyThatLiesAboutItsCompressionIsADownloadFailure) {
    server.addFault({.path = dataPath("TF1501.html"), .kind = sample::FaultKind::BadEncoding});
    ui = RecordingUi();
    EXPECT_EQ(
        runExportJob(*ctx, {.selection = selection, .appFolder = app, .confirm = false}).outcome,
        ExportOutcome::Aborted);
    ASSERT_EQ(ui.warnings.size(), 1u);
    EXPECT_NE(ui.warnings[0].find("圧縮の形式が正しくありません"), std::string::npos)
        << ui.warnings[0];
    EXPECT_TRUE(hostFiles().empty());
    EXPECT_FALSE(fs::exists(cacheFolder / "TF1501.html.cache"));
}

TEST_F(DownloadCache, AnUnwritableCacheCostsTheCacheNotTheExport) {
    fs::create_directories(cacheFolder.parent_path());
    writeFile(cacheFolder, "a file where the folder should be");
    const Files plain = plainRun();
    EXPECT_EQ(run(), plain);
    EXPECT_EQ(count("キャッシュに保存できませんでした。"), 1u);
}

TEST(DownloadCacheServer, AnswersWithoutValidatorsAreNotKept) {
    sample::ServerOptions options;
    options.newestYear = 2015;
    options.newestMonth = 1;
    options.validators = false;
    sample::SampleServer server(options);
    server.start();
    TempDir dir;
    SsLogging log;
    log.LogFilePath = dir / "logs";
    RecordingUi ui;
    CoreContext ctx(log, ui, MemberServer(server.hostPort(), "10"));
    DataCache cache(dir / "cache", server.hostPort());
    ctx.dataCache = &cache;
    ExportState state;
    ASSERT_TRUE(Get_TFData(ctx, state, "TF1501.html", false).ok);
    EXPECT_FALSE(fs::exists(dir / "cache"));
    ASSERT_TRUE(Get_TFData(ctx, state, "TF1501.html", false).ok);
    EXPECT_EQ(server.notModifiedCount("/kestrova/tfdata2/TF1501.html"), 0u);
}

}  // namespace
}  // namespace kestrova::test
