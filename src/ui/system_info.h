#pragma once

#include <optional>

#include <QString>

namespace kestrova::ui {

/// The platform's system-information tool, where it has one.
std::optional<QString> systemInfoTool();

}  // namespace kestrova::ui
