#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/http/CurlExchange.h"
#include "foundation/http/HTTPConnector.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/Environment.h"
#include "tests/support/LoopbackTrap.h"
#include "tests/support/TemporaryFolder.h"
#include "tools/testserver/Gzip.h"
#include "tools/testserver/RawReplyServer.h"
#include "tools/testserver/TestCertificate.h"
#include "tools/testserver/TestServer.h"

namespace {

using testserver::FaultKind;

struct Reply {
  HTTPConnectorResponse result = kHTTPConnectorOK;
  std::map<std::string, std::string> headers;
  std::string body;
};

testserver::Rule rule(const std::string& path, unsigned first, unsigned count, FaultKind kind,
                      int status = 0, uint64_t bytes = 0) {
  return {path, first, count, {kind, status, -1, bytes, "", 0}};
}

// "name=value;" for every field of the request whose name is one of `names` in exactly that case.
std::string fields(const testserver::LoggedRequest& request,
                   const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names)
    for (const auto& [key, value] : request.request.headers)
      if (key == name) out += key + "=" + value + ";";
  return out;
}

class HTTPConnectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testserver::TestServerSettings settings;
    settings.stallLimit = std::chrono::seconds(20);
    settings.lifetime = std::chrono::minutes(5);
    server_ = std::make_unique<testserver::TestServer>(settings);
    ASSERT_TRUE(server_->start());
    server_->addBody("/doc", "<reply>hello</reply>");
    connector_.setLogger(&log_);
  }

  HTTPConnectorRequest get(const std::string& url, int timeoutSeconds = 10,
                           const char* method = "GET") const {
    HTTPConnectorRequest request;
    request.serverURL = url;
    request.method = method;
    request.timeoutSeconds = timeoutSeconds;
    return request;
  }
  Reply send(const HTTPConnectorRequest& request, HTTPConnector* connector = nullptr) {
    Reply reply;
    reply.result =
        (connector ? *connector : connector_).SendHTTPRequest(request, reply.headers, reply.body);
    return reply;
  }
  // Requests through the test server as a proxy that wants "user:<password>".
  void useProxy(const std::string& password, const char* variable = "http_proxy") {
    server_->setProxyCredentials("user:" + password);
    proxy_.emplace(variable, server_->url(""));
  }

  // No proxy or CA from the machine running the tests.
  wendtest::ScopedEnv noHttp_{"http_proxy", std::nullopt}, noHttps_{"https_proxy", std::nullopt},
      noHttpsUpper_{"HTTPS_PROXY", std::nullopt}, noCaFile_{"WEND_CA_FILE", std::nullopt};
  std::optional<wendtest::ScopedEnv> proxy_;
  std::unique_ptr<testserver::TestServer> server_;
  wendtest::CapturingLogger log_;
  HTTPConnector connector_;
};

TEST_F(HTTPConnectorTest, DefaultHeadersGoOutUnlessTheCallerNamesTheFieldInAnyCase) {
  HTTPConnectorRequest request = get("http://127.0.0.1");
  request.port = server_->port();
  request.path = "/doc";
  request.acceptCompressed = true;
  EXPECT_EQ(send(request).body, "<reply>hello</reply>");

  request.headers = {{"user-AGENT", "Caller"},
                     {"content-type", "application/json"},
                     {"accept-encoding", "identity"},
                     {"content-length", "3"},
                     {"X-Empty", ""},
                     {"X-Injected", "a\r\nEvil: 1"}};
  EXPECT_EQ(send(request).result, kHTTPConnectorOK);

  const auto requests = server_->requestsFor("/doc");
  ASSERT_EQ(requests.size(), 2u);
  const std::vector<std::string> names = {"User-Agent",      "user-AGENT",     "Content-Type",
                                          "content-type",    "Connection",     "Accept-Encoding",
                                          "accept-encoding", "Content-Length", "content-length",
                                          "X-Empty",         "X-Injected",     "Evil"};
  EXPECT_EQ(fields(requests[0], names),
            "User-Agent=Skyloom;Content-Type=text/xml; charset=utf-8;Connection=close;"
            "Accept-Encoding=compress, gzip;");
  // Without a body no length goes out, the caller's neither.
  EXPECT_EQ(fields(requests[1], names),
            "user-AGENT=Caller;content-type=application/json;Connection=close;"
            "accept-encoding=identity;");
}

// "%5d": blanks in front of lengths under five digits; bodies only for PUT and POST. The length
// is always the body's: a caller's, in any case, never goes out, nor a caller's framing (a
// Transfer-Encoding went out beside the length).
TEST_F(HTTPConnectorTest, BodiesAndTheirContentLength) {
  testserver::RawReplyServer raw({"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"});
  ASSERT_TRUE(raw.start());
  struct Case {
    const char* method;
    std::string body;
    const char* contentLength;  // null: neither the field nor the body
  } cases[] = {
      {"POST", "twelve bytes", "Content-Length:    12\r\n"},
      {"PUT", std::string(12345, 'x'), "Content-Length: 12345\r\n"},
      {"POST", std::string(123456, 'y'), "Content-Length: 123456\r\n"},
      {"GET", "ignored body", nullptr},
      {"DELETE", "ignored body", nullptr},
  };
  for (const Case& c : cases) {
    HTTPConnectorRequest request = get(raw.url("/svc"), 10, c.method);
    request.body = c.body;
    request.headers = {{"content-LENGTH", "3"}, {"transfer-ENCODING", "chunked"}};
    EXPECT_EQ(send(request).body, "ok") << c.method;
    const std::string sent = raw.requests().back();
    EXPECT_EQ(sent.find("content-LENGTH"), std::string::npos) << c.method;
    EXPECT_EQ(sent.find("transfer-ENCODING"), std::string::npos) << c.method;
    EXPECT_EQ(sent.rfind(std::string(c.method) + " /svc HTTP/1.1\r\n", 0), 0u) << sent;
    EXPECT_EQ(sent.find(c.contentLength ? c.contentLength : "Content-Length") != std::string::npos,
              c.contentLength != nullptr)
        << c.method;
    EXPECT_TRUE(sent.ends_with("\r\n\r\n" + (c.contentLength ? c.body : ""))) << c.method;
  }
}

TEST_F(HTTPConnectorTest, GzipRepliesAreInflatedAndBadOnesKept) {
  server_->enableGzip("/doc");
  server_->addBody("/bad", "not gzip at all", {{"Content-Encoding", "gzip"}});
  // The field's name and value in any case, as some servers send them, are honoured too; no reply
  // inflates past the connector's reply bound.
  const std::string over(http::CurlExchange::kMaxBodyBytes + 1, 'z');
  testserver::RawReplyServer raw(
      {"HTTP/1.1 200 OK\r\ncontent-encoding: gzip\r\n\r\n" + testserver::gzipCompress("inflated"),
       "HTTP/1.1 200 OK\r\nContent-Encoding: GZIP\r\n\r\n" + testserver::gzipCompress("upper"),
       "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n\r\n" + testserver::gzipCompress(over)});
  ASSERT_TRUE(raw.start());
  HTTPConnectorRequest request = get(server_->url("/doc"));
  request.acceptCompressed = true;
  EXPECT_EQ(send(request).body, "<reply>hello</reply>");
  EXPECT_EQ(send(get(raw.url("/"))).body, "inflated");
  EXPECT_EQ(send(get(raw.url("/"))).body, "upper");
  const Reply tooLarge = send(get(raw.url("/")));
  EXPECT_EQ(tooLarge.result, kHTTPConnectorOtherStreamError);
  EXPECT_EQ(tooLarge.body, "");
  EXPECT_FALSE(log_.has(pando::kLogWarn, "Some error occured in unzip"));

  EXPECT_EQ(send(get(server_->url("/bad"))).body, "not gzip at all");
  EXPECT_TRUE(log_.has(pando::kLogWarn, "Some error occured in unzip"));
}

// Bad requests fail before any network; broken connections map to their stream errors; an
// error status comes back with its head and body, and a first 401 is the answer (no credentials
// are tried without a 407 first).
TEST_F(HTTPConnectorTest, EveryFailureHasItsResult) {
  testserver::RawReplyServer silent({""});
  testserver::RawReplyServer headless({"no head at all\r\n\r\n"});
  testserver::RawReplyServer wordStatus({"HTTP/1.1 OK Fine\r\nContent-Length: 2\r\n\r\nok"});
  ASSERT_TRUE(silent.start() && headless.start() && wordStatus.start());
  server_->addGenerated("/short", 10000, 2);
  server_->addRule(rule("/short", 1, 0, FaultKind::ShortBody));
  server_->addRule(rule("/doc", 1, 1, FaultKind::Status, 401));
  HTTPConnectorRequest noMethod = get(server_->url("/doc"), 10, "");
  struct Case {
    HTTPConnectorRequest request;
    HTTPConnectorResponse result;
  } cases[] = {
      {get(""), kHTTPConnectorInvalidArguments},
      {noMethod, kHTTPConnectorInvalidArguments},
      {get(server_->url("/doc"), 0), kHTTPConnectorTimedOut},
      {get(server_->url("/doc"), -1), kHTTPConnectorTimedOut},
      {get(silent.url("/")), kHTTPConnectorHTTPProtocolError},  // closed without a reply head
      {get(headless.url("/")), kHTTPConnectorHTTPProtocolError},
      {get(wordStatus.url("/")), kHTTPConnectorHTTPProtocolError},
      {get(server_->url("/short")), kHTTPConnectorHTTPProtocolError},
      {get(wendtest::LoopbackTrap().url("")), kHTTPConnectorPosixError},  // port released
      {get("ftp://127.0.0.1/"), kHTTPConnectorOtherStreamError},
      {get(server_->url("/doc")), static_cast<HTTPConnectorResponse>(401)},
      {get(server_->url("/missing")), static_cast<HTTPConnectorResponse>(404)},
  };
  Reply reply;
  for (const Case& c : cases) {
    reply = send(c.request);
    EXPECT_EQ(reply.result, c.result) << c.request.serverURL;
  }
  EXPECT_EQ(reply.body, "404 Not Found\n");
  EXPECT_EQ(reply.headers.at("Content-Type"), "text/plain");
  EXPECT_EQ(connector_.getHTTPStatusCode(), 404);
  EXPECT_TRUE(log_.has(pando::kLogError, "received response code 404"));
  EXPECT_TRUE(log_.has(pando::kLogError, "Invalid arguments to SendHTTPRequest"));
  ASSERT_EQ(server_->requestsFor("/doc").size(), 1u);
  EXPECT_FALSE(server_->requestsFor("/doc")[0].request.hasHeader("Authorization"));
}

// Every attempt waits timeoutSeconds at most, for a connection, a head or a body; the status of
// an earlier request does not survive into a request that timed out.
TEST_F(HTTPConnectorTest, SlowRepliesTimeOut) {
  server_->addGenerated("/slow", 4000, 1);
  server_->addRule(rule("/slow", 1, 0, FaultKind::SlowBody, 0, 100));
  server_->addRule(rule("/stall", 1, 0, FaultKind::StallBeforeReply));
  server_->addBody("/stall", "never");
  // A listener whose queue is full drops new connections: connecting never completes.
  wendtest::LoopbackTrap full(0);
  full.fill(4);

  for (const std::string& url : {server_->url("/slow"), server_->url("/stall"), full.url("")}) {
    ASSERT_EQ(send(get(server_->url("/doc"))).result, kHTTPConnectorOK);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(send(get(url, 1)).result, kHTTPConnectorTimedOut) << url;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << url;
    EXPECT_EQ(connector_.getHTTPStatusCode(), 0) << url;
  }
}

TEST_F(HTTPConnectorTest, TlsNeedsTheTestCaAndACurrentCertificate) {
  wendtest::TemporaryFolder folder;
  struct Case {
    long endsInSeconds;
    bool trusted;
    HTTPConnectorResponse result;
  } cases[] = {
      {24 * 3600, false, kHTTPConnectorSSLUnknownRoot},
      {24 * 3600, true, kHTTPConnectorOK},
      {-60, true, kHTTPConnectorSSLCertExpired},
  };
  for (const Case& c : cases) {
    testserver::TestServerSettings settings;
    settings.tlsCertificateFile = folder / "cert.pem";
    settings.tlsKeyFile = folder / "key.pem";
    ASSERT_TRUE(testserver::writeTestCertificate(settings.tlsCertificateFile, settings.tlsKeyFile,
                                                 c.endsInSeconds));
    testserver::TestServer tls(settings);
    ASSERT_TRUE(tls.start());
    tls.addBody("/doc", "secure");
    wendtest::ScopedEnv ca("WEND_CA_FILE",
                           c.trusted ? std::optional(settings.tlsCertificateFile) : std::nullopt);
    EXPECT_EQ(send(get(tls.url("/doc"))).result, c.result) << c.endsInSeconds << c.trusted;
    EXPECT_EQ(tls.requests().size(), c.result == kHTTPConnectorOK ? 1u : 0u);
  }
}

// 407 is answered with the proxy credentials, a 401 behind the proxy with the (empty) server
// credentials; the 407/401 machine stops after one proxy attempt past its repeat mark.
TEST_F(HTTPConnectorTest, ProxyAndServerChallengesAreAnsweredABoundedNumberOfTimes) {
  useProxy("pass");
  constexpr auto kOK = kHTTPConnectorOK, kFailed = kHTTPConnectorProxyCredentialsFailed,
                 kAsked = kHTTPConnectorProxyAuthRequired;
  struct Case {
    const char* name;
    const char* user;  // null: no credentials set
    const char* password;
    std::vector<std::pair<unsigned, int>> statuses;  // request number -> status from then on
    HTTPConnectorResponse result;
    size_t requests;
  } cases[] = {
      {"answered", "user", "pass", {}, kOK, 2},
      {"account domain", "CORP\\user", "pass", {}, kOK, 2},  // not for Basic
      {"wrong password", "user", "wrong", {}, kFailed, 3},
      {"no credentials", nullptr, nullptr, {}, kFailed, 2},
      {"server challenge answered", "user", "pass", {{2, 401}, {3, 200}}, kOK, 3},
      {"proxy after server", "user", "pass", {{2, 401}, {3, 407}}, kAsked, 3},
      {"alternating stops", "user", "pass", {{2, 407}, {3, 401}, {4, 407}}, kFailed, 4},
      {"second proxy attempt", "user", "pass", {{2, 407}, {3, 404}}, HTTPConnectorResponse(404), 3},
  };
  for (const Case& c : cases) {
    server_->clearLog();
    server_->clearRules();
    for (size_t i = 0; i < c.statuses.size(); ++i) {
      const auto [first, status] = c.statuses[i];
      const unsigned count = i + 1 < c.statuses.size() ? 1 : 0;
      if (status != 200) server_->addRule(rule("/doc", first, count, FaultKind::Status, status));
    }
    HTTPConnector connector;
    if (c.user) {
      EXPECT_TRUE(connector.setProxyCredentials(c.user, c.password));
    }
    const Reply reply = send(get("http://service.test/doc"), &connector);
    EXPECT_EQ(reply.result, c.result) << c.name;
    const auto requests = server_->requests();
    ASSERT_EQ(requests.size(), c.requests) << c.name;
    EXPECT_FALSE(requests[0].request.hasHeader("Proxy-Authorization"));
    if (c.result == kOK) {
      EXPECT_EQ(requests.back().header("Proxy-Authorization"), "Basic dXNlcjpwYXNz") << c.name;
      EXPECT_EQ(requests.back().header("Authorization"), c.statuses.empty() ? "" : "Basic Og==");
      EXPECT_EQ(reply.body, "<reply>hello</reply>");
    }
  }
  EXPECT_FALSE(connector_.setProxyCredentials("", "pass"));
  EXPECT_TRUE(log_.has(pando::kLogTrace,
                       "Empty userName while setting proxy credentials for HTTP request"));
}

// To https the proxy is asked for a tunnel; its 407 to that request is answered the same way.
TEST_F(HTTPConnectorTest, ATunnelsProxyChallengeIsAnswered) {
  useProxy("pass", "https_proxy");
  server_->addRule(rule("service.test:443", 1, 1, FaultKind::Status, 407));
  ASSERT_TRUE(connector_.setProxyCredentials("user", "pass"));
  EXPECT_EQ(send(get("https://service.test/doc")).result, kHTTPConnectorPosixError);  // no tunnel
  const auto requests = server_->requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method(), "CONNECT");
  EXPECT_FALSE(requests[0].request.hasHeader("Proxy-Authorization"));
  EXPECT_EQ(requests[1].header("Proxy-Authorization"), "Basic dXNlcjpwYXNz");
}

TEST_F(HTTPConnectorTest, SecretsStayOutOfTheLog) {
  useProxy("s3cret-proxy");
  ASSERT_TRUE(connector_.setProxyCredentials("user", "s3cret-proxy"));
  server_->addBody("/token", "{\"access_token\":\"tok-REPLY\"}");
  HTTPConnectorRequest request = get("http://service.test/token?code=AUTHCODE", 10, "POST");
  request.body = "grant_type=authorization_code";
  EXPECT_EQ(send(request).result, 405);  // the test server serves GET only
  HTTPConnectorRequest tokenGet = get("http://service.test/token");
  tokenGet.headers = {{"X-Access-Token", "tok-HEADER"}};
  EXPECT_EQ(send(tokenGet).result, kHTTPConnectorOK);
  for (const auto& record : log_.records()) {
    for (const char* secret : {"s3cret-proxy", "AUTHCODE", "tok-REPLY", "tok-HEADER", "/token"}) {
      EXPECT_EQ(record.message.find(secret), std::string::npos) << record.message;
    }
  }
  // A request without secrets logs its URL and the reply.
  EXPECT_EQ(send(get("http://service.test/doc")).result, kHTTPConnectorOK);
  EXPECT_TRUE(log_.has(pando::kLogDebug, "URL: http://service.test/doc"));
  EXPECT_TRUE(log_.has(pando::kLogDebug, "RESPONSE Message- \n <reply>hello</reply>"));
}

TEST_F(HTTPConnectorTest, UnreadableHeaderFieldsAreSkipped) {
  testserver::RawReplyServer raw(
      {"HTTP/1.1 200 OK\r\nX-First: 1\r\nBad Name: here\r\nX-Folded: a\r\n b\r\n"
       "Content-Length: 0\r\n\r\n"});
  ASSERT_TRUE(raw.start());
  const Reply reply = send(get(raw.url("/")));
  EXPECT_EQ(reply.result, kHTTPConnectorOK);
  EXPECT_EQ(reply.headers, (std::map<std::string, std::string>{
                               {"X-First", "1"}, {"X-Folded", "a b"}, {"Content-Length", "0"}}));
  EXPECT_TRUE(
      log_.has(pando::kLogWarn, "Unable to get HTTP response header key and value at index 1"));
  EXPECT_TRUE(log_.has(pando::kLogError, "Response message is empty"));
}

}  // namespace
