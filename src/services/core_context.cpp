#include "services/core_context.h"

#include <utility>

namespace kestrova {

CoreContext::CoreContext(const SsLogging& log, UserInterface& ui, MemberServer server,
                         HttpOptions options)
    : log(log), ui(ui), memberServer(std::move(server)), http(std::move(options)) {
    if (!http.breathe) {
        http.breathe = [&ui] { ui.breathe(); };
    }
}

}  // namespace kestrova
