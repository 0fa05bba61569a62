#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kestrova {

/// The notice when the host folder box is empty.
inline constexpr std::string_view kHostFolderNotSet =
    "[TARGET frontier JV] のインストールフォルダが未設定です。";
/// The notice when a chosen folder does not hold the host program.
inline constexpr std::string_view kNotAHostFolder =
    "[TARGET frontier JV] がインストールされてないフォルダです。\r\n確認して下さい。";

/// True when `folder` holds the host program: its TFJV.EXE as an ordinary file, in whatever
/// letter case the file system keeps the name.
bool isHostFolder(const std::filesystem::path& folder);

/// Why `folder` cannot take an export, as the notice to show (the folder's path on its own
/// line), or nothing when it holds the host program. Everything a run writes goes below it.
std::optional<std::string> hostFolderProblem(const std::filesystem::path& folder);

}  // namespace kestrova
