#pragma once

#include <exception>
#include <string_view>

#include "base/ss_logging.h"
#include "base/user_interface.h"
#include "services/app_settings.h"
#include "web/http_request.h"
#include "web/member_server.h"
#include "web/race_authority.h"

namespace kestrova {

/// What every core operation that talks to the user or a server needs. Owned by the front
/// end (window, command line, test) for the life of the program.
class DataCache;

struct CoreContext {
    const SsLogging& log;
    UserInterface& ui;
    MemberServer memberServer;
    HttpOptions http;  ///< `breathe` defaults to ui.breathe()
    RaceAuthoritySite raceAuthority{kDefaultRaceAuthorityHost};
    /// The download cache of the data files, owned by the front end; none: every file is
    /// downloaded whole.
    DataCache* dataCache = nullptr;

    CoreContext(const SsLogging& log, UserInterface& ui, MemberServer server,
                HttpOptions options = {});
    /// The member server and the racing authority's site as the settings file names them.
    CoreContext(const SsLogging& log, UserInterface& ui, const ServerSettings& settings);
};

/// A failed step of an operation that reports its own failures: the error line goes to the
/// log and, in the same words, into a warning box.
void reportFailure(const CoreContext& ctx, std::string_view owner, std::string_view description);

/// The same for a caught exception: its Japanese description is shown and logged, a
/// library's own words about it (Error::detail) only logged.
void reportFailure(const CoreContext& ctx, std::string_view owner, const std::exception& error);

}  // namespace kestrova
