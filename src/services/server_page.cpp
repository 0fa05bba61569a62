#include "services/server_page.h"

#include <exception>
#include <string>

#include "services/core_context.h"
#include "web/http_request.h"

namespace kestrova {

namespace {
constexpr std::size_t kMaxServerPageBytes = 4u << 20;
}  // namespace

bool readServerPage(CoreContext& ctx, std::string_view tag, const std::string& url,
                    const std::function<void(const std::vector<HtmlTable>&)>& read) {
    const std::string name(tag);
    ctx.log.TraceLog(name);
    try {
        HttpRequest request = CreateHttpRequest(ctx.http);
        request.Open("GET", url, false);
        // The version and master pages are a few lines; anything far larger is none of them.
        request.send({}, BodyLimit(kMaxServerPageBytes, "ページ", url));
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
