#include "ui/system_info.h"

namespace kestrova::ui {

// No desktop here ships a tool that every installation has.
std::optional<QString> systemInfoTool() {
    return std::nullopt;
}

}  // namespace kestrova::ui
