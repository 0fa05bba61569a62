#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include <QString>

namespace kestrova::ui {

/// The core's UTF-8 text as a QString.
inline QString qtText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

/// A QString as the core's UTF-8 text.
inline std::string utf8Text(const QString& text) {
    return text.toStdString();
}

/// Qt names folders with "/" on every system; the log and the boxes show the system's own.
inline std::filesystem::path filePath(const QString& text) {
    std::filesystem::path path(text.toStdU16String());
    path.make_preferred();
    return path;
}

inline QString qtPath(const std::filesystem::path& path) {
    return QString::fromStdU16String(path.u16string());
}

/// Message texts join their lines with CR LF; a Qt label wants LF.
inline QString displayText(const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

}  // namespace kestrova::ui
