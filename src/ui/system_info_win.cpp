#include <QFileInfo>
#include <QSettings>

#include "ui/system_info.h"

namespace kestrova::ui {

// The tool's own registration first, then the shared tools folder that should hold it.
std::optional<QString> systemInfoTool() {
    const QSettings tool(
        QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
        QSettings::NativeFormat);
    const QString path = tool.value(QStringLiteral("PATH")).toString();
    if (!path.isEmpty()) {
        return path;
    }
    const QSettings shared(
        QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools Location"),
        QSettings::NativeFormat);
    const QString folder = shared.value(QStringLiteral("MSINFO")).toString();
    const QString file = folder + QStringLiteral("\\MSINFO32.EXE");
    if (!folder.isEmpty() && QFileInfo(file).isFile()) {
        return file;
    }
    return std::nullopt;
}

}  // namespace kestrova::ui
