#pragma once

#include <QString>

namespace kestrova::app {

/// The updater's file name on this platform ("ZrUpdater", "ZrUpdater.exe" on Windows).
QString updaterFileName();

}  // namespace kestrova::app
