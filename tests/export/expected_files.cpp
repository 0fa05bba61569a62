#include "expected_files.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "base/charset_converter.h"

namespace kestrova::test {

namespace {

/// Through the system's converter (iconv on Linux), "?" for what CP932 lacks when asked.
std::string convert(const char* to, const char* from, std::string_view text, bool questionMarks) {
    CharsetConverter converter(to, from);
    std::string out;
    const std::size_t consumed =
        converter.convert(text, out, [&](std::string_view rest, std::string& o) {
            if (!questionMarks) {
                return rest.size();  // stop here
            }
            // Skip one UTF-8 character and write "?" for it.
            o += '?';
            const auto lead = static_cast<unsigned char>(rest.front());
            return std::size_t{lead < 0x80 ? 1u : lead < 0xE0 ? 2u : lead < 0xF0 ? 3u : 4u};
        });
    static_cast<void>(consumed);
    return out;
}

std::string trim(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

std::string cell(const sample::Record& record, std::size_t column) {
    return trim(record.cells[column]);
}

bool wellFormedRaceKey(const std::string& key) {
    if (key.size() != 16) {
        return false;
    }
    for (char c : key) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// A line break or comma in a written cell would add a line or a field to the host's files:
// such a record is left out.
bool fitsTheLayout(const sample::Record& record) {
    std::vector<std::size_t> written = {2, 3, 4, 8, 114, 116, 117};
    for (std::size_t column = 9; column <= 102; ++column) {
        written.push_back(column);
    }
    return std::none_of(written.begin(), written.end(), [&](std::size_t column) {
        return cell(record, column).find_first_of("\r\n,") != std::string::npos;
    });
}

// The host names a meeting day by venue, year and two one-character numbers.
std::string hostCode(const std::string& raceKey) {
    static const std::map<std::string, std::string> digit = {
        {"01", "1"}, {"02", "2"}, {"03", "3"}, {"04", "4"}, {"05", "5"},
        {"06", "6"}, {"07", "7"}, {"08", "8"}, {"09", "9"}, {"10", "A"},
        {"11", "B"}, {"12", "C"}, {"13", "D"}, {"14", "E"}, {"15", "F"}};
    return raceKey.substr(8, 2) + raceKey.substr(2, 2) + digit.at(raceKey.substr(10, 2)) +
           digit.at(raceKey.substr(12, 2));
}

std::string replaceEvery(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

std::string restingFarm(const sample::Record& r) {
    if (cell(r, 113) != "1") {
        return "";
    }
    std::string token = cell(r, 116);
    if (!cell(r, 117).empty()) {
        token += "(" + cell(r, 117) + ")";
    }
    const std::string date = cell(r, 114);
    if (!date.empty()) {
        auto part = [&date](std::size_t at) { return at < date.size() ? date.substr(at, 2) : ""; };
        token += part(2) + "/" + part(4) + "/" + part(6);
    }
    return replaceEvery(token, "（旧天栄ホースパーク", "");
}

std::string commentLine(const sample::Record& r, const std::array<bool, 5>& kinds) {
    const std::string key = cell(r, 1);
    std::string line = hostCode(key) + key.substr(14, 2) + cell(r, 2) + ",";
    if (kinds[0]) {
        line += (cell(r, 8).empty() ? "__" : cell(r, 8)) + " ";
    }
    if (kinds[1]) {
        line += (cell(r, 3).empty() ? "___" : cell(r, 3)) + " ";
    }
    if (kinds[2]) {
        line += (cell(r, 4).empty() ? "__" : cell(r, 4)) + " ";
    }
    if (kinds[3]) {
        line += std::string(cell(r, 119) == "1" ? "VJ" : "__") + " ";
    }
    if (kinds[4]) {
        line += restingFarm(r) + " ";
    }
    return replaceEvery(line, "◯", "○") + "\r\n";
}

}  // namespace

std::string iconvCp932(std::string_view utf8) {
    return convert("CP932", "UTF-8", utf8, true);
}

std::string iconvFromCp932(std::string_view cp932) {
    return convert("UTF-8", "CP932", cp932, false);
}

ExpectedDay expectDay(const std::vector<sample::Record>& records, std::string_view dayKey,
                      const std::array<bool, 10>& comments, const std::vector<std::string>& codes) {
    std::vector<const sample::Record*> day;
    for (const auto& record : records) {
        if (cell(record, 0).empty()) {
            break;
        }
        const std::string key = cell(record, 1);
        if (wellFormedRaceKey(key) && key.starts_with(dayKey) && fitsTheLayout(record)) {
            day.push_back(&record);
        }
    }
    const std::string year(dayKey.substr(0, 4));
    ExpectedDay expected;

    for (int parity = 0; parity < 2; ++parity) {
        std::array<bool, 5> kinds{};
        bool any = false;
        for (int kind = 0; kind < 5; ++kind) {
            kinds[kind] = comments[2 * kind + parity];
            any = any || kinds[kind];
        }
        if (!any) {
            continue;
        }
        const std::string folder = parity == 0 ? "MY_DATA/YOS_COM/" : "MY_DATA/KEK_COM/";
        const std::string prefix = parity == 0 ? "YC" : "KC";
        std::map<std::string, std::string> text;  // file -> UTF-8 lines
        for (const auto* record : day) {
            text[folder + year + "/" + prefix + hostCode(cell(*record, 1)) + ".DAT"] +=
                commentLine(*record, kinds);
            (parity == 0 ? expected.predictionLines : expected.resultLines) += 1;
        }
        for (const auto& [path, lines] : text) {
            expected.files[path] = iconvCp932(lines);
        }
    }

    for (const auto& code : codes) {
        const int first = 2 * (std::stoi(code) / 10) + 7;
        std::string lines;
        for (const auto* r : day) {
            lines += cell(*r, 1) + cell(*r, 2) + "," + cell(*r, first) + "," + cell(*r, first + 1) +
                     "\r\n";
            ++expected.indexLines;
        }
        expected.files["KSTR_DATA/" + year + "/KSTR" + code + "_" +
                       std::string(dayKey.substr(2, 6)) + ".CSV"] = iconvCp932(lines);
    }
    return expected;
}

}  // namespace kestrova::test
