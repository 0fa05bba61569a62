#include "services/server_page.h"

#include <exception>
#include <string>

#include "services/core_context.h"
#include "web/http_request.h"

namespace kestrova {

bool readServerPage(CoreContext& ctx, std::string_view tag, const std::string& url,
                    const std::function<void(const std::vector<HtmlTable>&)>& read) {
    const std::string name(tag);
    ctx.log.TraceLog(name);
    try {
        HttpRequest request = CreateHttpRequest(ctx.http);
        request.Open("GET", url, false);
        request.send();
        ctx.log.TraceLog(name + "1");
        const auto tables = readTables(request.responseBody(), request.contentType());
        ctx.log.TraceLog(name + "2");
        read(tables);
        ctx.log.TraceLog(name + "3");
        return true;
    } catch (const std::exception& e) {
        reportFailure(ctx, tag, e);
        return false;
    }
}

}  // namespace kestrova
