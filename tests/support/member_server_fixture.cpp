#include "support/member_server_fixture.h"

#include <sstream>

namespace kestrova::test {

MemberServerFixture::MemberServerFixture() {
    log.LogFilePath = logDir.path();
    log.LoggingLevel = kTrace;
}

std::string MemberServerFixture::logText() const {
    return readFile(logDir / log.FileName);
}

std::vector<std::string> MemberServerFixture::traced() const {
    constexpr std::string_view kTag = "[TRACE] ";
    std::vector<std::string> messages;
    std::istringstream lines(logText());
    for (std::string line; std::getline(lines, line);) {
        if (const auto at = line.find(kTag); at != std::string::npos) {
            const auto start = at + kTag.size();
            messages.push_back(line.substr(start, line.find_last_not_of('\r') + 1 - start));
        }
    }
    return messages;
}

}  // namespace kestrova::test
