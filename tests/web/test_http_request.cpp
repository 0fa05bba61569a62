#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include "sample_server.h"
#include "tls_server.h"
#include "web/http_errors.h"
#include "web/http_request.h"
#include "web/member_server.h"

namespace kestrova {
namespace {

/// Far more than any answer of these tests.
const BodyLimit kAnySize(std::size_t{1} << 30, "ページ");

using namespace std::chrono_literals;
using sample::Fault;
using sample::FaultKind;
using sample::SampleServer;
using sample::ServerOptions;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

const std::filesystem::path kSampleCerts = KESTROVA_SAMPLE_CERTS;
const std::filesystem::path kOtherCa = std::filesystem::path(KESTROVA_TEST_DATA) / "other-ca";
constexpr const char* kPage = "/kestrova/test/page.html";

ServerOptions tlsOptions(const std::filesystem::path& cert, const std::filesystem::path& key) {
    ServerOptions options;
    options.certFile = cert;
    options.keyFile = key;
    return options;
}

ServerOptions sampleTls() {
    return tlsOptions(kSampleCerts / "server.pem", kSampleCerts / "server.key");
}

HttpErrorKind failureOf(HttpRequest& request, std::string_view body = {}) {
    try {
        request.send(body, kAnySize);
    } catch (const HttpError& e) {
        return e.kind();
    }
    ADD_FAILURE() << "send succeeded with status " << request.Status();
    return HttpErrorKind::Creation;
}

// A plain server with handlers the sample server has no reason to offer: it echoes what it
// received, redirects, and breaks a chunked body.
class LocalServer {
  public:
    explicit LocalServer(
        std::unique_ptr<httplib::Server> server = std::make_unique<httplib::Server>())
        : server_(std::move(server)) {
        auto echo = [this](const httplib::Request& req, httplib::Response& res) {
            ++hits;
            std::string text = req.method + "\n" + req.body + "\n";
            for (const auto& [name, value] : req.headers) {
                text += name + ": " + value + "\n";
            }
            res.set_content(text, "text/plain");
        };
        server_->Get("/echo", echo);
        server_->Post("/echo", echo);
        server_->Get("/broken-chunks", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider(
                "text/html", [](size_t offset, httplib::DataSink& sink) {
                    if (offset > 0) {
                        return false;  // drops the connection without the last chunk
                    }
                    sink.write("<table><tr><td>", 15);
                    return true;
                });
        });
        port_ = server_->bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_->listen_after_bind(); });
    }
    ~LocalServer() {
        server_->stop();
        thread_.join();
    }

    void redirect(const std::string& from, const std::string& to) {
        server_->Get(
            from, [to](const httplib::Request&, httplib::Response& res) { res.set_redirect(to); });
    }
    std::string url(std::string_view scheme, std::string_view path) const {
        return std::string(scheme) + "127.0.0.1:" + std::to_string(port_) + std::string(path);
    }

    std::atomic<int> hits{0};

  private:
    std::unique_ptr<httplib::Server> server_;
    int port_ = 0;
    std::thread thread_;
};

class HttpRequestTest : public ::testing::Test {
  protected:
    void SetUp() override { server.start(); }

    std::string url(std::string_view path) const {
        return "http://" + server.hostPort() + std::string(path);
    }

    SampleServer server;
};

TEST_F(HttpRequestTest, AnswersCarryStatusBodyAndContentType) {
    server.setPage(kPage, "<p>ok</p>", "text/html; charset=UTF-8");
    server.addFault({.path = "/kestrova/missing.html", .kind = FaultKind::Status, .status = 404});
    server.addFault({.path = "/kestrova/broken.html", .kind = FaultKind::Status, .status = 500});

    HttpRequest request = CreateHttpRequest();
    EXPECT_EQ(request.Status(), 0);
    request.Open("GET", url(kPage), false);
    request.send({}, kAnySize);
    EXPECT_EQ(request.Status(), 200);
    EXPECT_EQ(request.responseBody(), "<p>ok</p>");
    EXPECT_EQ(request.contentType(), "text/html; charset=UTF-8");

    // Error statuses are answers, not failures.
    request.Open("GET", url("/kestrova/missing.html"), false);
    request.send({}, kAnySize);
    EXPECT_EQ(request.Status(), 404);
    EXPECT_FALSE(request.responseBody().empty());
    request.Open("GET", url("/kestrova/broken.html"), false);
    request.send({}, kAnySize);
    EXPECT_EQ(request.Status(), 500);
    EXPECT_FALSE(request.responseBody().empty());
}

TEST(HttpRequestSending, PostCarriesItsBodyAndRepeatsOnTheSameRequest) {
    LocalServer local;
    HttpRequest request = CreateHttpRequest();
    request.Open("POST", local.url("http://", "/echo"), false);
    request.setRequestHeader("Content-Type", "application/x-www-form-urlencoded");
    request.send("cname=pw01dde%2F", kAnySize);
    EXPECT_EQ(request.Status(), 200);
    EXPECT_THAT(request.responseBody(),
                AllOf(StartsWith("POST\ncname=pw01dde%2F\n"),
                      HasSubstr("Content-Type: application/x-www-form-urlencoded\n")));

    request.send("cname=second", kAnySize);
    EXPECT_THAT(request.responseBody(),
                AllOf(StartsWith("POST\ncname=second\n"), HasSubstr("Content-Length: 12\n")));
    EXPECT_EQ(local.hits, 2);
}

TEST(HttpRequestSending, PostWithoutBodySendsZeroLengthAndNoContentType) {
    LocalServer local;
    HttpRequest request = CreateHttpRequest();
    request.Open("POST", local.url("http://", "/echo"), false);
    request.send({}, kAnySize);
    EXPECT_THAT(request.responseBody(),
                AllOf(StartsWith("POST\n\n"), HasSubstr("Content-Length: 0\n"),
                      Not(HasSubstr("Content-Type")), Not(HasSubstr("Expect"))));
}

TEST(HttpRequestSending, GetSendsTheHeadersSetAfterOpen) {
    LocalServer local;
    HttpRequest request = CreateHttpRequest();
    request.Open("GET", local.url("http://", "/echo"), false);
    request.setRequestHeader("X-Kestrova", "値 1");
    request.send({}, kAnySize);
    EXPECT_THAT(request.responseBody(),
                AllOf(StartsWith("GET\n"), HasSubstr("X-Kestrova: 値 1\n")));

    // Open starts a new request: the header does not stay.
    request.Open("GET", local.url("http://", "/echo"), false);
    request.send({}, kAnySize);
    EXPECT_THAT(request.responseBody(), Not(HasSubstr("X-Kestrova")));
}

TEST(HttpRequestTls, SchemeSettingSwitchesBetweenPlainAndVerifiedTls) {
    if (!sample::tlsAvailable()) {
        GTEST_SKIP() << sample::kNoTlsServer;
    }
    SampleServer plain;
    plain.start();
    SampleServer tls(sampleTls());
    tls.start();
    plain.setPage("/kestrova/data/MAST.html", "plain", "text/plain");
    tls.setPage("/kestrova/data/MAST.html", "secure", "text/plain");
    HttpOptions options;
    options.extraCaFile = kSampleCerts / "ca.pem";

    MemberServer viaHttp(plain.hostPort(), "10");
    HttpRequest request = CreateHttpRequest(options);
    request.Open("GET", viaHttp.masterPageUrl(), false);
    request.send({}, kAnySize);
    EXPECT_EQ(request.responseBody(), "plain");

    MemberServer viaHttps(tls.hostPort(), "9");
    request.Open("GET", viaHttps.masterPageUrl(), false);
    request.send({}, kAnySize);
    EXPECT_EQ(request.Status(), 200);
    EXPECT_EQ(request.responseBody(), "secure");

    // Speaking TLS to a plain server is a TLS failure, not a hang.
    request.Open("GET", "https://" + plain.hostPort() + kPage, false);
    EXPECT_EQ(failureOf(request), HttpErrorKind::Tls);
}

TEST(HttpRequestTls, UntrustedCertificatesAreRefused) {
    if (!sample::tlsAvailable()) {
        GTEST_SKIP() << sample::kNoTlsServer;
    }
    struct Case {
        const char* what;
        ServerOptions server;
        std::filesystem::path trusted;
    };
    const Case cases[] = {
        {"test CA not trusted", sampleTls(), {}},
        {"certificate from another CA",
         tlsOptions(kOtherCa / "loopback.pem", kOtherCa / "loopback.key"), kSampleCerts / "ca.pem"},
        {"certificate for another host",
         tlsOptions(kOtherCa / "wrong_host.pem", kOtherCa / "wrong_host.key"), kOtherCa / "ca.pem"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SampleServer tls(c.server);
        tls.start();
        HttpOptions options;
        options.extraCaFile = c.trusted;
        HttpRequest request = CreateHttpRequest(options);
        const std::string address = "https://" + tls.hostPort() + "/kestrova/data/MAST.html";
        request.Open("GET", address, false);
        try {
            request.send({}, kAnySize);
            ADD_FAILURE() << "no TLS failure";
        } catch (const HttpError& e) {
            EXPECT_EQ(e.kind(), HttpErrorKind::Tls);
            EXPECT_THAT(e.what(), AllOf(HasSubstr("証明書"), HasSubstr(address)));
        }
        EXPECT_EQ(request.Status(), 0);
    }
}

TEST(HttpRequestTls, TrustsAnExtraCaWithoutLosingTheSystemOnes) {
    if (!sample::tlsAvailable()) {
        GTEST_SKIP() << sample::kNoTlsServer;
    }
    SampleServer tls(tlsOptions(kOtherCa / "loopback.pem", kOtherCa / "loopback.key"));
    tls.start();
    HttpOptions options;
    options.extraCaFile = kOtherCa / "ca.pem";
    HttpRequest request = CreateHttpRequest(options);
    request.Open("GET", "https://" + tls.hostPort() + "/kestrova/data/MAST.html", false);
    request.send({}, kAnySize);
    EXPECT_EQ(request.Status(), 200);

    options.extraCaFile = kOtherCa / "missing.pem";
    EXPECT_THROW(CreateHttpRequest(options), HttpError);
}

TEST(HttpRequestRedirects, FollowsWithinTheSchemeButNeverFromHttpsToHttp) {
    LocalServer target;
    LocalServer plain;
    plain.redirect("/moved", target.url("http://", "/echo"));
    HttpRequest request = CreateHttpRequest();
    request.Open("GET", plain.url("http://", "/moved"), false);
    request.send({}, kAnySize);
    EXPECT_EQ(request.Status(), 200);
    EXPECT_EQ(target.hits, 1);

    if (!sample::tlsAvailable()) {
        GTEST_SKIP() << sample::kNoTlsServer;
    }
    LocalServer secure(sample::makeTlsServer(kOtherCa / "loopback.pem", kOtherCa / "loopback.key"));
    secure.redirect("/moved", target.url("http://", "/echo"));
    HttpOptions options;
    options.extraCaFile = kOtherCa / "ca.pem";
    HttpRequest tlsRequest = CreateHttpRequest(options);
    tlsRequest.Open("GET", secure.url("https://", "/moved"), false);
    EXPECT_EQ(failureOf(tlsRequest), HttpErrorKind::Transport);
    EXPECT_EQ(target.hits, 1);
}

TEST_F(HttpRequestTest, SilenceLongerThanTheTimeOutEndsTheRequest) {
    server.addFault({.path = "/kestrova/slow.html", .kind = FaultKind::Slow, .delay = 20s});
    server.addFault({.path = "/kestrova/stalled.html",
                     .kind = FaultKind::StallBody,
                     .delay = 20s,
                     .afterBytes = 20});
    HttpOptions options;
    options.sendTimeout = 300ms;
    options.receiveTimeout = 300ms;
    HttpRequest request = CreateHttpRequest(options);

    for (const char* path : {"/kestrova/slow.html", "/kestrova/stalled.html"}) {
        SCOPED_TRACE(path);
        request.Open("GET", url(path), false);
        const auto start = std::chrono::steady_clock::now();
        try {
            request.send({}, kAnySize);
            ADD_FAILURE() << "no time-out";
        } catch (const HttpError& e) {
            EXPECT_EQ(e.kind(), HttpErrorKind::Timeout);
            EXPECT_THAT(e.what(), AllOf(HasSubstr("タイムアウト"), HasSubstr(path)));
        }
        // Well before the server would have gone on.
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
        EXPECT_EQ(request.Status(), 0);
        EXPECT_TRUE(request.responseBody().empty());
    }
}

TEST_F(HttpRequestTest, BodyCutMidwayIsATransportFailure) {
    server.setPage(kPage, std::string(100'000, 'x'), "text/html");
    server.addFault({.path = kPage, .kind = FaultKind::CutBody, .afterBytes = 5'000});
    HttpRequest request = CreateHttpRequest();
    request.Open("GET", url(kPage), false);
    EXPECT_EQ(failureOf(request), HttpErrorKind::Transport);
    EXPECT_TRUE(request.responseBody().empty());

    LocalServer local;
    request.Open("GET", local.url("http://", "/broken-chunks"), false);
    EXPECT_EQ(failureOf(request), HttpErrorKind::Transport);
}

TEST_F(HttpRequestTest, RefusedConnectionIsCannotConnect) {
    const std::string address = url("/kestrova/data/MAST.html");
    server.stop();
    HttpRequest request = CreateHttpRequest();
    request.Open("GET", address, false);
    try {
        request.send({}, kAnySize);
        ADD_FAILURE() << "connected to a stopped server";
    } catch (const HttpError& e) {
        EXPECT_EQ(e.kind(), HttpErrorKind::CannotConnect);
        EXPECT_EQ(std::string(e.what()), "サーバーに接続できませんでした。(" + address + ")");
    }
}

TEST_F(HttpRequestTest, BreathesWhileWaitingForAnAnswer) {
    server.setPage("/kestrova/slow.html", "late", "text/plain");
    server.addFault({.path = "/kestrova/slow.html", .kind = FaultKind::Slow, .delay = 2s});
    std::vector<std::chrono::steady_clock::time_point> breaths;
    HttpOptions options;
    options.breathe = [&breaths] { breaths.push_back(std::chrono::steady_clock::now()); };
    HttpRequest request = CreateHttpRequest(options);
    request.Open("GET", url("/kestrova/slow.html"), false);
    request.send({}, kAnySize);
    EXPECT_EQ(request.responseBody(), "late");
    ASSERT_GE(breaths.size(), 6u);
    // Generous bound, for a loaded machine: what matters is that it breathes while it waits,
    // not only when the answer has come.
    for (std::size_t i = 1; i < breaths.size(); ++i) {
        EXPECT_LT(breaths[i] - breaths[i - 1], 1s) << "gap before breath " << i;
    }
}

TEST_F(HttpRequestTest, BreatheMayEndTheRequest) {
    server.addFault({.path = "/kestrova/slow.html", .kind = FaultKind::Slow, .delay = 2s});
    HttpOptions options;
    options.breathe = [] { throw std::runtime_error("closing"); };
    HttpRequest request = CreateHttpRequest(options);
    request.Open("GET", url("/kestrova/slow.html"), false);
    EXPECT_THROW(request.send({}, kAnySize), std::runtime_error);
}

struct RecordingSink : BodySink {
    void onResponseStart(int status, std::string_view type) override {
        events.push_back("start " + std::to_string(status) + " " + std::string(type));
        EXPECT_TRUE(body.empty());
    }
    void onBody(std::string_view chunk) override {
        if (events.empty()) {
            events.push_back("body before start");
        }
        body.append(chunk);
        ++chunks;
    }
    std::vector<std::string> events;
    std::string body;
    int chunks = 0;
};

TEST_F(HttpRequestTest, StreamingSinkGetsTheStatusFirstThenEveryByteInOrder) {
    std::string page;
    for (int i = 0; page.size() < 3'000'000; ++i) {
        page += "<tr><td>" + std::to_string(i) + "</td></tr>\n";
    }
    server.setPage(kPage, page, "text/html; charset=Shift_JIS");
    HttpRequest request = CreateHttpRequest();
    request.Open("GET", url(kPage), false);
    RecordingSink sink;
    request.send({}, sink);
    EXPECT_EQ(sink.events, std::vector<std::string>{"start 200 text/html; charset=Shift_JIS"});
    EXPECT_EQ(sink.body, page);
    EXPECT_GT(sink.chunks, 1);
    EXPECT_EQ(request.Status(), 200);
    EXPECT_TRUE(request.responseBody().empty());  // streamed, not kept
}

TEST_F(HttpRequestTest, StreamingSinkIsStartedOnceForAnEmptyBody) {
    server.setPage(kPage, "", "text/html");
    HttpRequest request = CreateHttpRequest();
    request.Open("GET", url(kPage), false);
    RecordingSink sink;
    request.send({}, sink);
    EXPECT_EQ(sink.events, std::vector<std::string>{"start 200 text/html"});
    EXPECT_EQ(sink.chunks, 0);
}

TEST_F(HttpRequestTest, SinkFailureLeavesSendAndTheRequestStaysUsable) {
    struct Refusing : BodySink {
        void onResponseStart(int, std::string_view) override {}
        void onBody(std::string_view) override { throw std::length_error("too many rows"); }
    } refusing;
    server.setPage(kPage, std::string(1'000'000, 'x'), "text/html");
    HttpRequest request = CreateHttpRequest();
    request.Open("GET", url(kPage), false);
    EXPECT_THROW(request.send({}, refusing), std::length_error);

    request.send({}, kAnySize);
    EXPECT_EQ(request.Status(), 200);
    EXPECT_EQ(request.responseBody().size(), 1'000'000u);
}

TEST(HttpRequestCreation, FailureTextNamesLibcurlInFourLines) {
    EXPECT_EQ(
        httpCreationErrorText(),
        "libcurl の HTTP 通信オブジェクトの作成に失敗しました。\r\n"
        "libcurl ライブラリが存在しないか、正常にインストールされていない可能性があります。\r\n"
        "最新の libcurl ライブラリは、下記からダウンロード可能です。\r\n"
        "https://curl.se/libcurl/");
}

}  // namespace
}  // namespace kestrova
