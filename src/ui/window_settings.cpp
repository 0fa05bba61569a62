#include "ui/window_settings.h"

#include <cmath>
#include <string_view>

#include "base/errors.h"
#include "base/ss_logging.h"
#include "export/data_kinds.h"
#include "services/ini_file.h"
#include "ui/qt_text.h"

namespace kestrova::ui {

namespace {

/// TFJV_DTSL: three characters nobody reads, then one per entry of the index kind list.
constexpr qsizetype kDataKindsPrefix = 3;
constexpr qsizetype kDataKindsLength = kDataKindsPrefix + kDataKindCount - kFirstIndexKind;
constexpr qsizetype kCommentsLength = kCommentEntryCount;

std::optional<double> number(const std::string& text) {
    bool ok = false;
    const double value = qtText(text).toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

/// The '1' / '0' flags of a selection string of `length` characters, from `first` on; ""
/// when it has another length.
std::string flags(const std::string& text, qsizetype length, qsizetype first) {
    const QString chars = qtText(text);
    if (chars.size() != length) {
        return {};
    }
    std::string result;
    for (qsizetype i = first; i < length; ++i) {
        result += chars[i] == QLatin1Char('1') ? '1' : '0';
    }
    return result;
}

}  // namespace

WindowSettings WindowSettings::load(const std::filesystem::path& file, const SsLogging& log) {
    const IniSnapshot ini(file);
    WindowSettings settings;
    for (const char* key : {"M_Top", "M_Left"}) {
        const std::string text = ini.text("SYS_ENV", key);
        if (text.empty()) {
            continue;
        }
        const auto twips = number(text);
        if (!twips) {
            // Not worth an unusable window: the designed position serves as well.
            log.WarnLog(errorText("frmTFLink:InitF", std::string(key) + " の値「" + text +
                                                         "」は数値ではありません。設計時の位置で"
                                                         "表示します。"));
            settings.top.reset();
            settings.left.reset();
            break;
        }
        (std::string_view(key) == "M_Top" ? settings.top : settings.left) = twips;
    }
    settings.hostFolder = ini.text("USE_OPT1", "TFJV_Path");
    settings.dataKinds =
        flags(ini.text("USE_OPT1", "TFJV_DTSL"), kDataKindsLength, kDataKindsPrefix);
    settings.comments = flags(ini.text("USE_OPT1", "TFJV_YSCM"), kCommentsLength, 0);
    return settings;
}

bool WindowSettings::save(const std::filesystem::path& file) const {
    bool written = true;
    const auto write = [&](const char* section, const char* key, const std::string& value) {
        written = WriteIniSetting(file, section, key, value) && written;
    };
    if (top) {
        write("SYS_ENV", "M_Top", std::to_string(std::lround(*top)));
    }
    if (left) {
        write("SYS_ENV", "M_Left", std::to_string(std::lround(*left)));
    }
    write("USE_OPT1", "TFJV_Path", hostFolder);
    write("USE_OPT1", "TFJV_DTSL",
          std::string(static_cast<std::size_t>(kDataKindsPrefix), '0') + dataKinds);
    write("USE_OPT1", "TFJV_YSCM", comments);
    return written;
}

}  // namespace kestrova::ui
