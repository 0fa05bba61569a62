#include "app/updater.h"

namespace kestrova::app {

QString updaterFileName() {
    return QStringLiteral("ZrUpdater");
}

}  // namespace kestrova::app
