#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

/// The first year the member server has past data for.
inline constexpr int kFirstDataYear = 2010;

/// "TFyymm.html": the month files of one year, "mm" standing for the month.
inline constexpr std::size_t kMonthTemplateLength = 11;
/// "TFyymmdd.html": the file of one meeting day.
inline constexpr std::size_t kDayFileNameLength = 13;

/// The month file template of `year`: "TF" + yy + "mm.html".
std::string monthFileTemplate(int year);

/// MonthFileTemplates: the templates of kFirstDataYear through `currentYear`.
std::vector<std::string> makeMonthFileTemplates(int currentYear);

/// The file of `month` (1..12) of a template: ("TF18mm.html", 3) gives "TF1803.html".
std::string monthFileName(std::string_view monthTemplate, int month);

/// The day file of a day key yyyymmdd.
std::string dayFileNameOf(std::string_view dayKey);

/// True for "TF" + four (month) or six (day) digits + ".html".
bool isDataFileName(std::string_view fileName);

}  // namespace kestrova
