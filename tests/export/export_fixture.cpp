#include "export_fixture.h"

#include <algorithm>

#include "export/data_file_names.h"

namespace kestrova::test {

namespace {

sample::ServerOptions serverOptions() {
    sample::ServerOptions options;
    options.newestYear = 2015;
    options.newestMonth = 2;
    options.weekDays = {"20150207"};
    return options;
}

HttpOptions shortTimeouts() {
    HttpOptions options;
    options.connectTimeout = std::chrono::seconds(5);
    options.sendTimeout = std::chrono::seconds(5);
    options.receiveTimeout = std::chrono::seconds(5);
    return options;
}

}  // namespace

sample::Record makeRecord(std::string raceKey, std::string horse) {
    sample::Record record;
    record.cells[0] = "1";
    record.cells[1] = std::move(raceKey);
    record.cells[2] = std::move(horse);
    for (std::size_t column = 9; column <= 102; ++column) {
        record.cells[column] = std::to_string(column * 7 % 100) + "." + record.cells[2];
    }
    return record;
}

sample::DataFile makeFile(std::string headerCell, std::vector<sample::Record> records) {
    return {std::move(headerCell), std::move(records)};
}

ExportTest::ExportTest() : host(dir / "TFJV"), server(serverOptions()) {
    std::filesystem::create_directories(host / "MY_DATA" / "YOS_COM");
    std::filesystem::create_directories(host / "MY_DATA" / "KEK_COM");
    writeFile(host / "TFJV.EXE", "");
    log.LogFilePath = dir / "logs";
    log.LoggingLevel = kTrace;
    server.start();
    ctx = std::make_unique<CoreContext>(log, ui, MemberServer(server.hostPort(), "10"),
                                        shortTimeouts());
}

ExportTest::~ExportTest() {
    server.stop();
}

ExportSelection ExportTest::pastSelection(std::string startYear) const {
    ExportSelection selection;
    selection.ThisWeekMode = 0;
    selection.StartYear = std::move(startYear);
    selection.hostFolder = host;
    selection.today = kToday;
    return selection;
}

ExportResult ExportTest::run(const ExportSelection& selection, ExportProgress* progress) {
    return runExportJob(*ctx, {.selection = selection, .appFolder = {}, .confirm = false},
                        progress);
}

ExportResult ExportTest::confirmAndRun(const ExportSelection& selection, ExportProgress* progress) {
    return runExportJob(*ctx, {.selection = selection, .appFolder = {}, .confirm = true}, progress);
}

ExportSelection ExportTest::weekSelection(std::vector<std::string> pages) const {
    ExportSelection selection;
    selection.ThisWeekMode = 1;
    selection.dayPages = std::move(pages);
    selection.hostFolder = host;
    selection.today = kToday;
    return selection;
}

std::map<std::string, std::string> ExportTest::hostFiles() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(host)) {
        if (entry.is_regular_file() && entry.path() != host / "Kestrova.lock" &&
            entry.path() != host / "TFJV.EXE") {
            files[entry.path().lexically_relative(host).generic_string()] = readFile(entry.path());
        }
    }
    return files;
}

std::vector<std::string> ExportTest::pathsOutsideHost() const {
    std::vector<std::string> paths;
    for (auto it = std::filesystem::recursive_directory_iterator(dir.path());
         it != std::filesystem::recursive_directory_iterator(); ++it) {
        if (it->path() == host || it->path() == dir / "logs") {
            it.disable_recursion_pending();
            continue;
        }
        paths.push_back(it->path().lexically_relative(dir.path()).generic_string());
    }
    return paths;
}

std::string ExportTest::logText() const {
    std::string text;
    if (!std::filesystem::is_directory(dir / "logs")) {
        return text;
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir / "logs")) {
        text += readFile(entry.path());
    }
    return text;
}

std::string ExportTest::dataPath(std::string_view fileName) {
    return "/kestrova/tfdata2/" + std::string(fileName);
}

}  // namespace kestrova::test
