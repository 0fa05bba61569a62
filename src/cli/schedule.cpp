#include "cli/schedule.h"

#include <algorithm>
#include <cstdlib>
#include <span>

#include "base/atomic_file.h"
#include "export/data_kinds.h"

namespace kestrova::cli {

namespace {

namespace fs = std::filesystem;

/// Characters that neither systemd nor the shell treat specially.
bool isPlainCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("-_./=,:+@").find(c) != std::string_view::npos;
}

bool isPlainWord(std::string_view word) {
    return !word.empty() && std::all_of(word.begin(), word.end(), isPlainCharacter);
}

/// One word of ExecStart=. Specifiers ("%") are expanded before the line is split and
/// variables ("$") after, inside quotes too; C escapes apply inside double quotes.
std::string systemdWord(std::string_view word) {
    std::string text;
    for (const char c : word) {
        if (c == '%' || c == '$') {
            text += c;
        } else if (c == '\\' || c == '"') {
            text += '\\';
        }
        text += c;
    }
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return isPlainCharacter(c) || c == '%' || c == '$';
    });
    return plain ? text : '"' + text + '"';
}

/// One word for /bin/sh inside a crontab line. Every cron ends the command at a "%" unless a
/// backslash precedes it, and drops that backslash; what a backslash before another
/// backslash does differs (Debian's cron drops one, cronie keeps both). So the word's own
/// backslashes never reach cron as such: the shell makes each with printf's octal escape.
std::string cronWord(std::string_view word) {
    if (isPlainWord(word)) {
        return std::string(word);
    }
    std::string text = "'";
    for (const char c : word) {
        if (c == '\'') {
            text += "'\\''";
        } else if (c == '\\') {
            text += "'\"$(printf '\\134')\"'";
        } else if (c == '%') {
            text += "\\%";
        } else {
            text += c;
        }
    }
    return text + "'";
}

std::string joined(const WeeklyJob& job, std::string (*word)(std::string_view)) {
    std::string line = word(job.program);
    for (const auto& argument : job.arguments) {
        line += ' ' + word(argument);
    }
    return line;
}

/// "all" when `codes` are every one of `all`, else the codes joined by ",".
std::string codeList(const std::vector<std::string>& codes, std::span<const std::string_view> all) {
    if (codes.size() == all.size()) {
        return "all";
    }
    std::string list;
    for (const auto& code : codes) {
        list += (list.empty() ? "" : ",") + code;
    }
    return list;
}

/// The comment codes whose entry of `parity` (0 prediction, 1 result) is chosen.
std::vector<std::string> commentCodes(const ExportRequest& request, std::size_t parity) {
    std::vector<std::string> codes;
    for (std::size_t kind = 0; kind < kCommentKindCodes.size(); ++kind) {
        if (request.commentEntries[2 * kind + parity]) {
            codes.emplace_back(kCommentKindCodes[kind]);
        }
    }
    return codes;
}

constexpr std::string_view kWrittenBy =
    "# Written by \"kestrova-cli schedule\"; \"kestrova-cli schedule --remove\" removes it.\n";

}  // namespace

std::vector<std::string> weeklyExportArguments(const ExportRequest& request) {
    std::vector<std::string> arguments{"export"};
    if (request.appFolder) {
        arguments.insert(arguments.end(), {"--app-folder", pathText(*request.appFolder)});
    }
    if (request.hostFolder) {
        arguments.insert(arguments.end(), {"--host-folder", pathText(*request.hostFolder)});
    }
    arguments.emplace_back("--this-week");
    if (!request.indexCodes.empty()) {
        const auto all = std::span(DataKindCodes).subspan(kFirstIndexKind, kIndexKindCount);
        arguments.insert(arguments.end(), {"--kinds", codeList(request.indexCodes, all)});
    }
    for (const auto& [option, parity] : {std::pair{"--predict", 0u}, std::pair{"--result", 1u}}) {
        if (const auto codes = commentCodes(request, parity); !codes.empty()) {
            arguments.insert(arguments.end(), {option, codeList(codes, kCommentKindCodes)});
        }
    }
    if (request.noCache) {
        arguments.emplace_back("--no-cache");
    }
    return arguments;
}

std::optional<std::string> unschedulableArgument(const WeeklyJob& job) {
    std::vector<std::string_view> words{job.program};
    words.insert(words.end(), job.arguments.begin(), job.arguments.end());
    for (const std::string_view word : words) {
        if (std::any_of(word.begin(), word.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; })) {
            return "改行などの制御文字を含むフォルダ名は登録できません: " + std::string(word);
        }
    }
    return std::nullopt;
}

std::string systemdCommandLine(const WeeklyJob& job) {
    return joined(job, systemdWord);
}

std::string cronCommand(const WeeklyJob& job) {
    return joined(job, cronWord);
}

std::string serviceUnitText(const WeeklyJob& job) {
    return std::string(kWrittenBy) +
           "[Unit]\n"
           "Description=Kestrova weekly export of this week's meeting days\n"
           "Documentation=man:kestrova-cli(1)\n"
           "\n"
           "[Service]\n"
           "Type=oneshot\n"
           "ExecStart=" +
           systemdCommandLine(job) + "\n";
}

std::string timerUnitText() {
    return std::string(kWrittenBy) +
           "[Unit]\n"
           "Description=Kestrova weekly export, Friday evening and Saturday morning\n"
           "\n"
           "[Timer]\n"
           "OnCalendar=Fri *-*-* 20:00:00\n"
           "OnCalendar=Sat *-*-* 07:00:00\n"
           "Persistent=true\n"
           "RandomizedDelaySec=30min\n"
           "\n"
           "[Install]\n"
           "WantedBy=timers.target\n";
}

std::string crontabLines(const WeeklyJob& job, int minute) {
    const std::string command = cronCommand(job);
    const std::string at = std::to_string(minute);
    return at + " 20 * * 5 " + command + "\n" + at + " 7 * * 6 " + command + "\n";
}

}  // namespace kestrova::cli
