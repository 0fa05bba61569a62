#pragma once

#include <array>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "base/ss_logging.h"
#include "export/export_run.h"
#include "export/export_state.h"
#include "sample_server.h"
#include "services/core_context.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"

namespace kestrova::test {

/// A record with column 0 set, the race key, the horse number and a distinct value in every
/// index column; marks and resting-farm columns empty.
sample::Record makeRecord(std::string raceKey, std::string horse);

/// A data file with the given header cell and records.
sample::DataFile makeFile(std::string headerCell, std::vector<sample::Record> records);

/// The day the tests' exports run: the server's newest month is the month before.
inline constexpr std::chrono::year_month_day kToday{std::chrono::year(2015) / 3 / 10};

/// A sample server on a free loopback port (month files up to 2015-02, this week
/// 2015-02-07), a host folder with TFJV.EXE and the host's comment folders, and a context whose
/// messages land in a RecordingUi.
class ExportTest : public ::testing::Test {
  protected:
    ExportTest();
    ~ExportTest() override;

    ExportSelection pastSelection(std::string startYear) const;
    /// The export as the command line starts it (no questions), without the download cache.
    ExportResult run(const ExportSelection& selection, ExportProgress* progress = nullptr);
    /// The export as the window starts it: the folder notice, the questions, the last box.
    ExportResult confirmAndRun(const ExportSelection& selection,
                               ExportProgress* progress = nullptr);
    ExportSelection weekSelection(std::vector<std::string> pages) const;

    /// Every file the run wrote below the host folder: path relative to it ("/"-separated) and
    /// bytes.
    std::map<std::string, std::string> hostFiles() const;
    /// Every path below the temporary folder outside the host folder and the log folder.
    std::vector<std::string> pathsOutsideHost() const;
    std::string logText() const;
    static std::string dataPath(std::string_view fileName);

    TempDir dir;
    std::filesystem::path host;
    SsLogging log;
    RecordingUi ui;
    sample::SampleServer server;
    std::unique_ptr<CoreContext> ctx;
    ExportState state;
};

}  // namespace kestrova::test
