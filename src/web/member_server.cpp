#include "web/member_server.h"

#include <utility>

namespace kestrova {

MemberServer::MemberServer(std::string host, std::string_view schemeSetting)
    : host_(std::move(host)), plainHttp_(schemeSetting == "10") {}

std::string_view MemberServer::scheme() const {
    return plainHttp_ ? "http://" : "https://";
}

std::string MemberServer::versionPageUrl() const {
    return std::string(scheme()) + host_ + "/kestrova/verchk/mst/KestrovaVerMN.html";
}

std::string MemberServer::masterPageUrl() const {
    return std::string(scheme()) + host_ + "/kestrova/data/MAST.html";
}

std::string MemberServer::dataFileUrl(std::string_view fileName) const {
    return std::string(scheme()) + host_ + "/kestrova/tfdata2/" + std::string(fileName);
}

std::string MemberServer::preparedFileUrl(std::string_view fileName) const {
    return std::string(scheme()) + host_ + "/kestrova/data3/" + std::string(fileName);
}

// The document is opened in the user's browser, which has always reached it over plain http.
std::string MemberServer::dataExplainUrl() const {
    return "http://" + host_ + "/kestrova/monitor/data_explain.pdf";
}

}  // namespace kestrova
