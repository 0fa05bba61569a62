#include "export/data_file_names.h"

#include <algorithm>

#include "base/text.h"

namespace kestrova {

namespace {

constexpr std::string_view kPrefix = "TF";
constexpr std::string_view kSuffix = ".html";

/// The last two digits of a number, with a leading zero.
std::string twoDigits(int number) {
    return std::to_string(100 + number % 100).substr(1);
}

}  // namespace

std::string monthFileTemplate(int year) {
    return std::string(kPrefix) + twoDigits(year) + "mm" + std::string(kSuffix);
}

std::vector<std::string> makeMonthFileTemplates(int currentYear) {
    std::vector<std::string> templates;
    for (int year = kFirstDataYear; year <= currentYear; ++year) {
        templates.push_back(monthFileTemplate(year));
    }
    return templates;
}

std::string monthFileName(std::string_view monthTemplate, int month) {
    return replaceAll(monthTemplate, "mm", twoDigits(month));
}

std::string dayFileNameOf(std::string_view dayKey) {
    return std::string(kPrefix) +
           std::string(dayKey.substr(std::min<std::size_t>(2, dayKey.size()), 6)) +
           std::string(kSuffix);
}

bool isDataFileName(std::string_view fileName) {
    if (!fileName.starts_with(kPrefix) || !fileName.ends_with(kSuffix)) {
        return false;
    }
    const std::string_view digits = fileName.substr(
        kPrefix.size(),
        fileName.size() - std::min(fileName.size(), kPrefix.size() + kSuffix.size()));
    return (digits.size() == 4 || digits.size() == 6) && isAsciiDigits(digits);
}

}  // namespace kestrova
