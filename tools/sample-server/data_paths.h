#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "sample_data.h"

namespace kestrova::sample {

inline constexpr std::string_view kVersionPath = "/kestrova/verchk/mst/KestrovaVerMN.html";
inline constexpr std::string_view kMasterPath = "/kestrova/data/MAST.html";
inline constexpr std::string_view kExplainPath = "/kestrova/monitor/data_explain.pdf";
inline constexpr std::string_view kDataFolder = "/kestrova/tfdata2/";
inline constexpr std::string_view kPreparedFolder = "/kestrova/data3/";

/// "TFyymm.html" (a month) or "TFyymmdd.html" (a meeting day), years 2000 to 2099.
struct DataFileName {
    int year = 0;
    int month = 0;
    int day = 0;  ///< 0 for a month file

    bool isMonth() const { return day == 0; }
    std::string dayKey() const;    ///< yyyymmdd of a day file
    std::string fileName() const;  ///< "TFyymm.html" or "TFyymmdd.html"
};
std::optional<DataFileName> parseDataFileName(std::string_view fileName);

/// "YYYY-MM", years 2000 on; nullopt otherwise.
std::optional<std::pair<int, int>> parseYearMonth(std::string_view text);

/// When the vendor would have put the file up: a month at the start of the next month, a day
/// at 18:00 (Japan) the evening before, as Unix time.
std::time_t publishedAt(const DataFileName& name);

/// How the server dresses a generated page: the charset, the table markup and whether the
/// answer names its charset in a Content-Type header (the page's meta tag always does).
struct PageStyle {
    Charset charset = Charset::Cp932;
    Layout layout = Layout::Plain;
    bool sendContentType = true;
};
PageStyle styleOf(const DataFileName& name);

/// "text/html; charset=Shift_JIS" or "text/html; charset=UTF-8".
std::string contentTypeOf(Charset charset);

}  // namespace kestrova::sample
