#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "services/errors.h"

namespace kestrova {

struct CoreContext;
struct ExportState;

/// A data file that arrived but cannot be used (its header does not fit the request, or it
/// has no table).
class DataFileError : public Error {
  public:
    using Error::Error;
};

/// Get_TFData: fetches the data file `request` ("TFyymm.html" or "TFyymmdd.html") from the
/// member data server.
///
/// `status` receives the HTTP status (0 when no answer arrived). With status 200 and not
/// `probeOnly`, the page is parsed while it arrives into state.TFDataTable and
/// state.TFDataRowCount, the progress lines go to the activity list and `request` becomes
/// the header key (cell (0,0) up to the first ":"). A day file's key must be a date, a month
/// file's key must begin with its year and month. Any other status leaves table and request
/// alone and returns true: the caller decides what the status means.
///
/// Returns false after a failure (no answer, a cut answer, a table beyond 10000 rows or 120
/// columns, a page that is not the requested data file), having shown the warning
/// "Get_TFData<<description>>" and logged it.
bool Get_TFData(CoreContext& ctx, ExportState& state, std::string& request, std::int32_t& status,
                bool probeOnly);

/// True for "TF" + four or six digits + ".html".
bool isDataFileName(std::string_view fileName);

}  // namespace kestrova
