#include "app/updater.h"

namespace kestrova::app {

QString updaterFileName() {
    return QStringLiteral("ZrUpdater.exe");
}

}  // namespace kestrova::app
