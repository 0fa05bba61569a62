#include "fixed_pages.h"

#include "calendar.h"
#include "data_paths.h"
#include "page_writer.h"
#include "records.h"

namespace kestrova::sample {

std::string versionPage() {
    return "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"UTF-8\">\n"
           "<title>Kestrova バージョン情報</title>\n</head>\n<body>\n<table border=\"1\">\n"
           "<tr><td>製品</td><td>バージョン</td><td>リリース</td><td>引数1</td><td>引数2</td>"
           "<td>引数3</td></tr>\n"
           "<tr><td>Kestrova</td><td>1.0.2</td><td>2015100201</td><td>/kestrova/update/</td>"
           "<td>Kestrova102.zip</td><td>Kestrova.exe</td></tr>\n"
           "</table>\n</body>\n</html>\n";
}

std::string masterPage() {
    return "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"UTF-8\">\n"
           "<title>MAST</title>\n</head>\n<body>\n<table border=\"1\">\n"
           "<tr><td>1</td><td>Kestrova</td></tr>\n"
           "<tr><td>2</td><td>0</td></tr>\n"
           "<tr><td>3</td><td>通常運用</td></tr>\n"
           "</table>\n</body>\n</html>\n";
}

std::string explainPdf() {
    return "%PDF-1.4\n"
           "1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
           "2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj\n"
           "3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >> endobj\n"
           "trailer << /Root 1 0 R >>\n%%EOF\n";
}

std::string statusPage(int status) {
    const std::string code = std::to_string(status);
    return "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"UTF-8\">\n<title>" + code +
           "</title>\n</head>\n<body>\n<h1>" + code +
           "</h1>\n<p>エラーが発生しました。</p>\n"
           "</body>\n</html>\n";
}

std::string noTablesPage() {
    return "<!DOCTYPE html>\n<html>\n<head>\n<meta "
           "charset=\"UTF-8\">\n<title>メンテナンス</title>\n"
           "</head>\n<body>\n<p>ただいまメンテナンス中です。</p>\n</body>\n</html>\n";
}

std::string oversizedPage(std::string_view path, std::size_t rows, std::uint32_t seed) {
    const std::string_view fileName = path.substr(path.rfind('/') + 1);
    std::string header = "201001:蓄積データ";
    if (const auto name = parseDataFileName(fileName)) {
        header = name->isMonth() ? monthHeaderCell(name->year, name->month)
                                 : dayHeaderCell(daysOfKey(name->dayKey()));
    }
    // Records of one busy day, repeated as often as needed.
    const DataFile day = generateDay("20251207", seed);
    PageWriter page(header, Charset::Cp932, Layout::Plain, rows * 1800);
    for (std::size_t i = 1; i < rows; ++i) {
        page.addRow(day.records[(i - 1) % day.records.size()].cells);
    }
    return page.finish();
}

std::optional<std::string> preparedFile(std::string_view name,
                                        const std::vector<std::string>& weekDays) {
    if (name == "info.txt") {
        return std::string(
            "Kestrova からのお知らせ\r\n今週のデータは金曜日の夕方に公開します。\r\n");
    }
    if (name == "schedule.txt") {
        std::string text;
        for (const std::string& day : weekDays) {
            text += day + "\r\n";
        }
        return text;
    }
    if (name == "empty.txt") {
        return std::string();
    }
    return std::nullopt;
}

}  // namespace kestrova::sample
