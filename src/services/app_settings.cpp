#include "services/app_settings.h"

#include <algorithm>

#include "base/atomic_file.h"
#include "base/errors.h"
#include "base/text.h"
#include "services/ini_file.h"

namespace kestrova {
namespace {

constexpr std::string_view kSection = "SYS_ENV";

bool isPort(std::string_view port) {
    if (port.empty() || port.size() > 5 || !isAsciiDigits(port)) {
        return false;
    }
    const int number = std::stoi(std::string(port));
    return number >= 1 && number <= 65535;
}

/// Only a host name, an IPv4 address or a bracketed IPv6 address, with an optional port;
/// anything else would change the meaning of the addresses built from it.
bool isHostText(std::string_view text) {
    std::string_view host = text;
    std::string_view rest;
    if (host.starts_with('[')) {
        const auto close = host.find(']');
        if (close == std::string_view::npos || close == 1) {
            return false;
        }
        const auto address = host.substr(1, close - 1);
        const bool hex = std::all_of(address.begin(), address.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
                   c == ':' || c == '.';
        });
        if (!hex) {
            return false;
        }
        rest = host.substr(close + 1);
    } else {
        const auto colon = host.find(':');
        rest = colon == std::string_view::npos ? std::string_view() : host.substr(colon);
        host = host.substr(0, colon);
        const bool name = !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '.' || c == '-' || c == '_';
        });
        if (!name || host.front() == '.' || host.front() == '-') {
            return false;
        }
    }
    return rest.empty() || (rest.front() == ':' && isPort(rest.substr(1)));
}

/// The host of `key`, the default when the key is missing or empty; a value that is not a
/// host is reported and the default kept, so nothing is reached on its account.
std::string hostOf(const IniSnapshot& ini, std::string_view key, std::string_view fallback,
                   bool schemeAllowed, ServerSettings& settings) {
    auto value = ini.text(kSection, key);
    if (value.empty()) {
        return std::string(fallback);
    }
    std::string_view host = value;
    if (schemeAllowed) {
        for (const std::string_view scheme : {"http://", "https://"}) {
            if (startsWithIgnoringAsciiCase(host, scheme)) {
                host.remove_prefix(scheme.size());
                break;
            }
        }
    }
    if (!isHostText(host)) {
        settings.problems.push_back("設定ファイルの [" + std::string(kSection) + "] " +
                                    std::string(key) + " の値が正しくありません: " + value);
        return std::string(fallback);
    }
    return value;
}

/// A settings file that exists but cannot be read.
std::string settingsReadProblem(const IniSnapshot& ini) {
    return "設定ファイルを読み込めませんでした。(" + pathText(ini.path()) + ": " +
           fileErrorReason(ini.readError()) + ")";
}

}  // namespace

std::filesystem::path settingsFile(const std::filesystem::path& appFolder) {
    return appFolder / "Kestrova.Ini";
}

ServerSettings loadServerSettings(const std::filesystem::path& iniFile) {
    return loadServerSettings(IniSnapshot(iniFile));
}

ServerSettings loadServerSettings(const IniSnapshot& ini) {
    ServerSettings settings;
    if (ini.readError()) {
        // The built-in hosts would reach the real servers in place of the configured ones.
        settings.schemeSetting.clear();
        settings.problems.push_back(settingsReadProblem(ini));
        return settings;
    }
    IniValue scheme = std::string();
    if (ini.get(kSection, "REVNIW", "", scheme)) {
        const auto* text = std::get_if<std::string>(&scheme);
        const auto trimmed = text ? trimSpaces(*text) : std::string_view();
        settings.schemeSetting = trimmed.empty() ? "9" : std::string(trimmed);
    } else {
        settings.schemeSetting.clear();
    }
    settings.dataCache = ini.text(kSection, "DataCache") != "0";
    settings.memberHost = hostOf(ini, "MemberHost", kDefaultMemberHost, false, settings);
    settings.publicHost = hostOf(ini, "PublicHost", kDefaultPublicHost, false, settings);
    settings.raceAuthorityHost =
        hostOf(ini, "RaceAuthorityHost", kDefaultRaceAuthorityHost, true, settings);
    return settings;
}

}  // namespace kestrova
