#pragma once

#include <string>
#include <string_view>

namespace kestrova {

/// Every address of the vendor's member data server. The scheme is "http://" when
/// HttpSchemeSetting is exactly "10", otherwise "https://".
class MemberServer {
  public:
    MemberServer(std::string host, std::string_view schemeSetting);

    const std::string& host() const { return host_; }
    std::string_view scheme() const;

    std::string versionPageUrl() const;                            ///< GET, update check
    std::string masterPageUrl() const;                             ///< GET, server master
    std::string dataFileUrl(std::string_view fileName) const;      ///< GET, month and day files
    std::string preparedFileUrl(std::string_view fileName) const;  ///< POST, prepared files
    std::string dataExplainUrl() const;  ///< opened in a browser, always http

  private:
    std::string host_;
    bool plainHttp_;
};

}  // namespace kestrova
