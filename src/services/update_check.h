#pragma once

#include <array>
#include <string>
#include <string_view>

namespace kestrova {

struct CoreContext;

/// The release stamp of this build: year, month, day and a two-digit serial.
inline constexpr std::string_view BuildStamp = "2015100201";

/// What the version-notice page says: the six cells of the last row of its last table.
struct UpdateCheck {
    std::array<std::string, 6> UpdateInfo;
    bool UpdateAvailable = false;
};

/// VerChk: fetches and reads the version-notice page. Returns false after any failure,
/// having shown the warning "VerChk<<description>>" through ctx.ui; `result` then keeps
/// UpdateAvailable false.
bool VerChk(CoreContext& ctx, UpdateCheck& result);

/// The updater's argument string: cells 3, 4 and 5 joined by ",".
std::string updaterArguments(const UpdateCheck& check);

}  // namespace kestrova
