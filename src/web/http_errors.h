#pragma once

#include <string>
#include <string_view>

#include <curl/curl.h>

#include "web/http_request.h"

namespace kestrova {

/// The four lines (CR LF joined) shown when no transfer handle can be created.
std::string httpCreationErrorText();

/// The error for a failed transfer of `url`; `detail` is libcurl's own text, if any.
HttpError httpTransferError(CURLcode code, std::string_view url, std::string_view detail = {});

/// The error for a transfer that saw no byte for longer than its time-out.
HttpError httpTimeoutError(std::string_view url);

}  // namespace kestrova
