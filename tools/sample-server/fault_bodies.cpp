#include "fault_bodies.h"

#include <string>
#include <string_view>

namespace kestrova::sample {
namespace {

constexpr std::size_t kFarmColumn = 116;

}  // namespace

StreamedBody repeatedTable(const std::shared_ptr<const Content>& page, std::size_t times) {
    const StreamedBody::Text text = plainText(page);
    const std::string_view html = *text;
    std::size_t begin = html.find("<table");
    std::size_t end = begin == std::string_view::npos ? begin : html.find("</table>", begin);
    if (end == std::string_view::npos) {
        begin = 0;
        end = html.size();
    } else {
        end += std::string_view("</table>").size();
        if (end < html.size() && html[end] == '\n') {
            ++end;
        }
    }
    const std::size_t table = end - begin;
    const std::size_t rest = html.size() - table;
    if (times == 0 && table > 0) {
        times = rest < kEndlessRepeatBytes ? (kEndlessRepeatBytes - rest) / table : 1;
    }
    StreamedBody body;
    body.append(text, 0, begin);
    body.append(text, begin, end, times);
    body.append(text, end, html.size());
    return body;
}

StreamedBody withHugeCell(const std::shared_ptr<const Content>& page, std::size_t bytes) {
    const StreamedBody::Text text = plainText(page);
    const std::string_view html = *text;
    std::size_t row = html.find("<tr>");
    if (const std::size_t record = html.find("<tr>", row + 1); record != std::string_view::npos) {
        row = record;
    }
    const std::size_t rowEnd = html.find("</tr>", row);
    std::size_t cell = std::string_view::npos;
    for (std::size_t at = row, i = 0; i <= kFarmColumn; ++i) {
        at = html.find("<td>", at == row ? row : at + 1);
        if (at == std::string_view::npos || at > rowEnd) {
            break;
        }
        cell = at;
    }
    if (row == std::string_view::npos || cell == std::string_view::npos) {
        return StreamedBody(text);
    }
    const std::size_t start = cell + std::string_view("<td>").size();
    const std::size_t stop = html.find("</td>", start);
    // The page's own meta tag names its charset.
    const bool utf8 = html.substr(0, html.find("<table")).find("UTF-8") != std::string_view::npos;
    const std::string_view a = utf8 ? "\xE3\x81\x82" : "\x82\xA0";
    StreamedBody body;
    body.append(text, 0, start);
    body.appendFill(a, bytes - bytes % a.size());
    body.appendFill("x", bytes % a.size());
    body.append(text, stop, html.size());
    return body;
}

}  // namespace kestrova::sample
