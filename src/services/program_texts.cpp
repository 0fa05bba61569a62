#include "services/program_texts.h"

#include "services/app_settings.h"
#include "services/update_check.h"
#include "web/member_server.h"

namespace kestrova {

namespace {

/// Characters `from` .. `from + count` of the stamp, as far as it has them.
std::string stampPart(const std::string& stamp, std::size_t from, std::size_t count) {
    return from < stamp.size() ? stamp.substr(from, count) : std::string();
}

}  // namespace

std::string AppVersion() {
    return KESTROVA_VERSION;
}

std::string versionLine() {
    return "Ver. " + AppVersion() + " C";
}

std::string versionOutput() {
    return "Kestrova " + versionLine();
}

std::string updateOfferMessage(const UpdateCheck& check, std::string_view appVersion) {
    const std::string& stamp = check.UpdateInfo[2];
    std::string text = "Kestrovaの最新バージョンにアップデートが可能です。\r\n";
    text += "現在のバージョン：" + std::string(appVersion) + "\r\n";
    text += "最新のバージョン：" + check.UpdateInfo[1] + "\r\n";
    text += "リリース日：" + stampPart(stamp, 0, 4) + "年" + stampPart(stamp, 4, 2) + "月" +
            stampPart(stamp, 6, 2) + "日\r\n\r\n";
    text += "いますぐアップデートを行いますか？\r\n";
    return text;
}

std::optional<std::string> pageAddress(int kind, const ServerSettings& settings) {
    switch (kind) {
        case 1:
            // The help page has always been reached over plain http, whatever REVNIW says.
            return "http://" + settings.publicHost + "/archives/24799632.html";
        case 5:
            return MemberServer(settings.memberHost, settings.schemeSetting).dataExplainUrl();
        default:
            return std::nullopt;
    }
}

}  // namespace kestrova
