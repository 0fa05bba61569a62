#pragma once

#include <string>
#include <string_view>

namespace kestrova {

struct CoreContext;

/// GetMast: looks `key` up in the server master page. The first matching row of a table
/// wins within it, the last table holding the key wins overall; no match gives "".
/// On a failure shows the warning "GetMast<<description>>" and returns the value so far.
std::string GetMast(CoreContext& ctx, std::string_view key);

/// True when the start-up probe value ("2") allows the program to go on: "0" or "1".
bool masterProbeAccepted(std::string_view value);

}  // namespace kestrova
