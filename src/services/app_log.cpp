#include "services/app_log.h"

namespace kestrova {

SsLogging makeAppLog(const std::filesystem::path& appFolder) {
    SsLogging log;
    log.FileName = "Kestrova.log";
    log.LogFilePath = appFolder / "logs";
    log.LoggingLevel = kInfo;
    log.MaxLogFileSize = 3;
    log.LogFileHistorys = 5;
    log.Enabled = true;
    return log;
}

}  // namespace kestrova
