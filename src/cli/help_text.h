#pragma once

#include <string>

namespace kestrova::cli {

/// The short usage lines shown after a bad argument.
std::string usageText();

/// The whole help, Japanese and English: command, options, data-kind codes, settings keys,
/// exit codes and a cron example. `currentYear` is the newest year --past accepts.
std::string helpText(int currentYear);

}  // namespace kestrova::cli
