#pragma once

#include <filesystem>
#include <string>

namespace kestrova {

/// Default hosts of the outside servers, used when the settings file names none.
inline constexpr const char* kDefaultMemberHost = "member.kestrova.jp";
inline constexpr const char* kDefaultPublicHost = "www.kestrova.jp";
inline constexpr const char* kDefaultRaceAuthorityHost = "www.jra.go.jp";

/// What start-up reads from section "SYS_ENV" of "Kestrova.Ini".
struct ServerSettings {
    /// HttpSchemeSetting: trimmed "REVNIW", "9" when blank or missing, "" when the read failed.
    std::string schemeSetting = "9";
    std::string memberHost = kDefaultMemberHost;                ///< key "MemberHost"
    std::string publicHost = kDefaultPublicHost;                ///< key "PublicHost"
    std::string raceAuthorityHost = kDefaultRaceAuthorityHost;  ///< key "RaceAuthorityHost"
};

/// "Kestrova.Ini" in `appFolder`.
std::filesystem::path settingsFile(const std::filesystem::path& appFolder);

/// A host that is not a plain name or address with an optional port ("127.0.0.1:8080") is
/// ignored in favour of the default, so that it cannot change the paths built from it.
ServerSettings loadServerSettings(const std::filesystem::path& iniFile);

}  // namespace kestrova
