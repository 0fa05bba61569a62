#pragma once

// The program's own texts and version, shared by start-up and the windows.

#include <optional>
#include <string>
#include <string_view>

namespace kestrova {

struct ServerSettings;
struct UpdateCheck;

/// AppVersion: major, minor and revision joined by ".".
std::string AppVersion();

/// "Ver. " + AppVersion + " C", as the splash and the version window show it.
std::string versionLine();

/// What both programs print for --version: "Kestrova " + versionLine.
std::string versionOutput();

/// The update offer of start-up: versions, the release date of the server's stamp, the
/// question. Lines joined by CR LF.
std::string updateOfferMessage(const UpdateCheck& check, std::string_view appVersion);

inline constexpr std::string_view kStartedLine = "アプリケーションが起動しました。";
inline constexpr std::string_view kEndedLine = "アプリケーションが終了しました。";
inline constexpr std::string_view kFolderFailureMessage =
    "フォルダの作成に失敗しました。プログラムを終了します。";
inline constexpr std::string_view kUpdaterStartedLine = "自動アップデートを開始しました。";
/// The updater could not be started: the program goes on instead of ending with nothing.
inline constexpr std::string_view kUpdaterFailedMessage =
    "アップデートプログラムを起動できませんでした。\r\n"
    "このまま現在のバージョンで起動します。";
/// The server probe failed.
inline constexpr std::string_view kErr001Message =
    "通信エラーもしくは、サーバーエラーが発生しました。\r\n"
    "一度、『Kestrova』を終了します。\r\n"
    "その後、『Kestrova』を再起動して下さい。\r\n"
    "再起動しても同じ現象が発生する場合はサポートに確認して下さい。[Err001]";

/// The address behind a page number of OpenPage: 1 the online help, 5 the data description
/// document; nothing for any other number.
std::optional<std::string> pageAddress(int kind, const ServerSettings& settings);

}  // namespace kestrova
