#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kestrova {

class IniSnapshot;

/// Default hosts of the outside servers, used when the settings file names none.
inline constexpr const char* kDefaultMemberHost = "member.kestrova.jp";
inline constexpr const char* kDefaultPublicHost = "www.kestrova.jp";
inline constexpr const char* kDefaultRaceAuthorityHost = "www.jra.go.jp";

/// What start-up reads from section "SYS_ENV" of "Kestrova.Ini".
struct ServerSettings {
    /// HttpSchemeSetting: trimmed "REVNIW", "9" when blank or missing, "" when the read failed.
    std::string schemeSetting = "9";
    std::string memberHost = kDefaultMemberHost;  ///< key "MemberHost"
    std::string publicHost = kDefaultPublicHost;  ///< key "PublicHost"
    /// Key "RaceAuthorityHost"; may begin with "http://" or "https://" (default https).
    std::string raceAuthorityHost = kDefaultRaceAuthorityHost;
    /// Key "DataCache": "0" turns the download cache off.
    bool dataCache = true;
    /// One Japanese message per host value that is not a host: such a setting is not
    /// replaced by the default behind the user's back; front ends refuse to run.
    std::vector<std::string> problems;
};

/// "Kestrova.Ini" in `appFolder`.
std::filesystem::path settingsFile(const std::filesystem::path& appFolder);

/// A host that is not a plain name or address with an optional port ("127.0.0.1:8080") is
/// reported in `problems`, since it would change the addresses built from it; so is a
/// settings file that exists but cannot be read (a folder, a FIFO, no permission), whose
/// hosts are unknown then.
ServerSettings loadServerSettings(const std::filesystem::path& iniFile);
/// The same from a file already read.
ServerSettings loadServerSettings(const IniSnapshot& ini);

}  // namespace kestrova
