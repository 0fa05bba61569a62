#include "services/app_settings.h"

#include <algorithm>

#include "base/text.h"
#include "services/ini_file.h"

namespace kestrova {
namespace {

constexpr std::string_view kSection = "SYS_ENV";

/// Only a host name or address with an optional port; anything else would change the
/// meaning of the addresses built from it.
bool isHostText(std::string_view host) {
    return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '-' || c == '_' || c == ':' || c == '[' || c == ']';
    });
}

std::string hostOr(const std::filesystem::path& iniFile, std::string_view key,
                   std::string_view fallback) {
    auto host = readIniText(iniFile, kSection, key);
    return isHostText(host) ? host : std::string(fallback);
}

}  // namespace

std::filesystem::path settingsFile(const std::filesystem::path& appFolder) {
    return appFolder / "Kestrova.Ini";
}

ServerSettings loadServerSettings(const std::filesystem::path& iniFile) {
    ServerSettings settings;
    IniValue scheme = std::string();
    if (GetIniSetting(iniFile, kSection, "REVNIW", "", scheme)) {
        const auto* text = std::get_if<std::string>(&scheme);
        const auto trimmed = text ? trimSpaces(*text) : std::string_view();
        settings.schemeSetting = trimmed.empty() ? "9" : std::string(trimmed);
    } else {
        settings.schemeSetting.clear();
    }
    settings.memberHost = hostOr(iniFile, "MemberHost", kDefaultMemberHost);
    settings.publicHost = hostOr(iniFile, "PublicHost", kDefaultPublicHost);
    settings.raceAuthorityHost = hostOr(iniFile, "RaceAuthorityHost", kDefaultRaceAuthorityHost);
    return settings;
}

}  // namespace kestrova
