#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kestrova {
class SsLogging;
}

namespace kestrova::ui {

/// What the main window keeps in the settings file between runs.
struct WindowSettings {
    /// The window's position in twips (SYS_ENV M_Top, M_Left); none when not saved, and
    /// neither when either value is not a number.
    std::optional<double> top;
    std::optional<double> left;
    /// The host folder as typed (USE_OPT1 TFJV_Path); read back trimmed.
    std::string hostFolder;
    /// One '1' (selected) or '0' per index kind entry, in list order (USE_OPT1 TFJV_DTSL,
    /// after its three unused characters); empty when missing or not of its length. Read
    /// back, any character but '1' counts as '0'.
    std::string dataKinds;
    /// One '1' or '0' per comment entry (USE_OPT1 TFJV_YSCM); empty when missing or not of
    /// its length.
    std::string comments;

    /// Reads the settings file once. A position that is not a number is logged as a
    /// warning under `log` and left out.
    static WindowSettings load(const std::filesystem::path& file, const SsLogging& log);
    /// Writes every value (a position only when set); false when any could not be written.
    bool save(const std::filesystem::path& file) const;
};

}  // namespace kestrova::ui
