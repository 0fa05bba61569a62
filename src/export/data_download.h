#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/errors.h"

namespace kestrova {

struct CoreContext;
struct ExportState;

/// A data file that arrived but cannot be used (its header does not fit the request, or it
/// has no table).
class DataFileError : public Error {
  public:
    using Error::Error;
};

/// What Get_TFData brings back.
struct TFDataResult {
    /// False after a failure, which has been shown and logged.
    bool ok = false;
    /// HTTP status of the answer; 0 when none arrived.
    std::int32_t status = 0;
    /// The header key (cell (0,0) up to the first ":") of a file that was read; "" otherwise.
    std::string key;
    /// What went wrong, when not ok (as the warning said it).
    std::string failure;
};

/// The next data file of a run, fetched on a thread of its own while the run writes the
/// files of the one before: on a real line the transfer then costs nothing but itself. Only
/// the exchange happens early; what the answer means, and every line and message about it,
/// comes in its turn, in Get_TFData. An answer that could not be fetched whole, or is larger
/// than a data file should be, is fetched again then.
class DataFilePrefetch {
  public:
    DataFilePrefetch(const CoreContext& ctx, std::string fileName);
    ~DataFilePrefetch();  ///< ends the exchange if it still runs
    DataFilePrefetch(const DataFilePrefetch&) = delete;
    DataFilePrefetch& operator=(const DataFilePrefetch&) = delete;

    const std::string& fileName() const { return fileName_; }

    struct Answer;
    /// Waits for the answer, letting the front end breathe (a stop request ends the wait),
    /// and hands it over; nothing when it must be fetched again.
    std::optional<Answer> take(CoreContext& ctx);

  private:
    struct State;
    std::string fileName_;
    std::shared_ptr<State> state_;
};

/// Get_TFData: fetches the data file `fileName` ("TFyymm.html" or "TFyymmdd.html") from the
/// member data server; `ahead` is its answer when it was fetched ahead.
///
/// With status 200 and not `probeOnly`, the page is parsed while it arrives into
/// state.TFDataTable and state.TFDataRowCount and the progress lines go to the activity
/// list. A day file's key must be a date, a month file's key must begin with its year and
/// month. Any other status leaves the table alone and is no failure: the caller decides what
/// the status means.
///
/// Fails (no answer, a cut answer, a table beyond 10000 rows or 120 columns, a page that is
/// not the requested data file) with the warning "Get_TFData<<description>>", also logged.
TFDataResult Get_TFData(CoreContext& ctx, ExportState& state, std::string_view fileName,
                        bool probeOnly, DataFilePrefetch* ahead = nullptr);

}  // namespace kestrova
