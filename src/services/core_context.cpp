#include "services/core_context.h"

#include <string>
#include <utility>

#include "base/errors.h"

namespace kestrova {

CoreContext::CoreContext(const SsLogging& log, UserInterface& ui, MemberServer server,
                         HttpOptions options)
    : log(log), ui(ui), memberServer(std::move(server)), http(std::move(options)) {
    if (!http.breathe) {
        http.breathe = [&ui] { ui.breathe(); };
    }
    if (!http.share) {
        http.share = std::make_shared<ConnectionShare>();
    }
}

CoreContext::CoreContext(const SsLogging& log, UserInterface& ui, const ServerSettings& settings)
    : CoreContext(log, ui, MemberServer(settings.memberHost, settings.schemeSetting)) {
    raceAuthority = RaceAuthoritySite(settings.raceAuthorityHost);
}

void reportFailure(const CoreContext& ctx, std::string_view owner, std::string_view description) {
    const std::string text = errorText(owner, description);
    ctx.log.ErrorLog(text);
    ctx.ui.warning(text);
}

void reportFailure(const CoreContext& ctx, std::string_view owner, const std::exception& error) {
    const std::string text = errorText(owner, describeError(error));
    ctx.log.ErrorLog(text);
    if (const auto* own = dynamic_cast<const Error*>(&error); own && !own->detail().empty()) {
        ctx.log.WarnLog(std::string(owner) + ": " + own->detail());
    }
    ctx.ui.warning(text);
}

}  // namespace kestrova
