#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/http/HTTPConnector.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"
#include "tools/testserver/Gzip.h"
#include "tools/testserver/RawReplyServer.h"
#include "tools/testserver/TestCertificate.h"
#include "tools/testserver/TestServer.h"

namespace {

using Clock = std::chrono::steady_clock;
using testserver::FaultKind;
using testserver::Rule;

struct Reply {
  HTTPConnectorResponse result = kHTTPConnectorOK;
  std::map<std::string, std::string> headers;
  std::string body;
};

Rule rule(const std::string& path, unsigned first, unsigned count, FaultKind kind, int status = 0,
          uint64_t bytes = 0) {
  Rule made;
  made.path = path;
  made.firstRequest = first;
  made.requestCount = count;
  made.fault.kind = kind;
  made.fault.status = status;
  made.fault.bytes = bytes;
  return made;
}

// Header values of one logged request whose name matches exactly.
std::vector<std::string> exactHeaders(const testserver::LoggedRequest& request,
                                      const std::string& name) {
  std::vector<std::string> values;
  for (const auto& [key, value] : request.request.headers) {
    if (key == name) values.push_back(value);
  }
  return values;
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

  HTTPConnectorRequest get(const std::string& url) const {
    HTTPConnectorRequest request;
    request.serverURL = url;
    request.method = "GET";
    request.timeoutSeconds = 10;
    return request;
  }

  Reply send(const HTTPConnectorRequest& request) {
    Reply reply;
    reply.result = connector_.SendHTTPRequest(request, reply.headers, reply.body);
    return reply;
  }

  // Requests through the test server as a proxy that wants `credentials`.
  void useProxy(const std::string& credentials) {
    server_->setProxyCredentials(credentials);
    proxy_.emplace("http_proxy", server_->url(""));
  }

  // No proxy or CA from the machine running the tests.
  wendtest::ScopedEnv noHttpProxy_{"http_proxy", std::nullopt};
  wendtest::ScopedEnv noHttpsProxy_{"https_proxy", std::nullopt};
  wendtest::ScopedEnv noHttpsProxyUpper_{"HTTPS_PROXY", std::nullopt};
  wendtest::ScopedEnv noCaFile_{"WEND_CA_FILE", std::nullopt};
  std::optional<wendtest::ScopedEnv> proxy_;
  std::unique_ptr<testserver::TestServer> server_;
  wendtest::CapturingLogger log_;
  HTTPConnector connector_;
};

TEST_F(HTTPConnectorTest, MissingArgumentsAndNoTimeFailWithoutNetwork) {
  HTTPConnectorRequest noUrl = get(""), noMethod = get(server_->url("/doc"));
  noMethod.method = "";
  EXPECT_EQ(send(noUrl).result, kHTTPConnectorInvalidArguments);
  EXPECT_EQ(send(noMethod).result, kHTTPConnectorInvalidArguments);
  EXPECT_TRUE(log_.has(pando::kLogError, "Invalid arguments to SendHTTPRequest"));
  for (int timeout : {0, -1}) {
    HTTPConnectorRequest request = get(server_->url("/doc"));
    request.timeoutSeconds = timeout;
    EXPECT_EQ(send(request).result, kHTTPConnectorTimedOut) << timeout;
  }
  EXPECT_TRUE(server_->requests().empty());
}

TEST_F(HTTPConnectorTest, DefaultHeadersGoOutUnlessTheCallerSpellsTheSameKey) {
  HTTPConnectorRequest request = get("http://127.0.0.1");
  request.port = server_->port();
  request.path = "/doc";
  request.acceptCompressed = true;
  const Reply plain = send(request);
  EXPECT_EQ(plain.result, kHTTPConnectorOK);
  EXPECT_EQ(plain.body, "<reply>hello</reply>");
  EXPECT_EQ(plain.headers.at("Content-Type"), "application/octet-stream");
  EXPECT_EQ(connector_.getHTTPStatusCode(), 200);

  request.headers = {{"User-Agent", "Caller"},
                     {"content-type", "application/json"},
                     {"Accept-Encoding", "identity"},
                     {"X-Empty", ""},
                     {"X-Injected", "a\r\nEvil: 1"}};
  EXPECT_EQ(send(request).result, kHTTPConnectorOK);

  const auto requests = server_->requestsFor("/doc");
  ASSERT_EQ(requests.size(), 2u);
  const auto& first = requests[0];
  EXPECT_EQ(exactHeaders(first, "User-Agent"), std::vector<std::string>{"Skyloom"});
  EXPECT_EQ(exactHeaders(first, "Content-Type"),
            std::vector<std::string>{"text/xml; charset=utf-8"});
  EXPECT_EQ(exactHeaders(first, "Connection"), std::vector<std::string>{"close"});
  EXPECT_EQ(exactHeaders(first, "Accept-Encoding"), std::vector<std::string>{"compress, gzip"});
  EXPECT_FALSE(first.request.hasHeader("Content-Length"));
  const auto& second = requests[1];
  EXPECT_EQ(exactHeaders(second, "User-Agent"), std::vector<std::string>{"Caller"});
  // A key in other case does not suppress the default: both go out.
  EXPECT_EQ(exactHeaders(second, "Content-Type"),
            std::vector<std::string>{"text/xml; charset=utf-8"});
  EXPECT_EQ(exactHeaders(second, "content-type"), std::vector<std::string>{"application/json"});
  EXPECT_EQ(exactHeaders(second, "Accept-Encoding"), std::vector<std::string>{"identity"});
  EXPECT_FALSE(second.request.hasHeader("X-Empty"));
  EXPECT_FALSE(second.request.hasHeader("X-Injected"));
  EXPECT_FALSE(second.request.hasHeader("Evil"));
}

// "%5d": blanks in front of lengths under five digits; bodies only for PUT and POST.
TEST_F(HTTPConnectorTest, BodiesAndTheirContentLength) {
  const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
  testserver::RawReplyServer raw({ok});
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
    HTTPConnectorRequest request = get(raw.url("/svc"));
    request.method = c.method;
    request.body = c.body;
    const Reply reply = send(request);
    EXPECT_EQ(reply.result, kHTTPConnectorOK) << c.method;
    EXPECT_EQ(reply.body, "ok");
    const std::string sent = raw.requests().back();
    EXPECT_EQ(sent.rfind(std::string(c.method) + " /svc HTTP/1.1\r\n", 0), 0u) << sent;
    if (c.contentLength != nullptr) {
      EXPECT_NE(sent.find(c.contentLength), std::string::npos) << c.method;
      EXPECT_TRUE(sent.ends_with("\r\n\r\n" + c.body)) << c.method;
    } else {
      EXPECT_EQ(sent.find("Content-Length"), std::string::npos) << sent;
      EXPECT_TRUE(sent.ends_with("\r\n\r\n")) << sent;
    }
  }
}

TEST_F(HTTPConnectorTest, GzipRepliesAreInflatedAndBadOnesKept) {
  server_->enableGzip("/doc");
  server_->addBody("/bad", "not gzip at all", {{"Content-Encoding", "gzip"}});
  HTTPConnectorRequest request = get(server_->url("/doc"));
  request.acceptCompressed = true;
  const Reply good = send(request);
  EXPECT_EQ(good.result, kHTTPConnectorOK);
  EXPECT_EQ(good.headers.at("Content-Encoding"), "gzip");
  EXPECT_EQ(good.body, "<reply>hello</reply>");
  EXPECT_FALSE(log_.has(pando::kLogWarn, "Some error occured in unzip"));

  const Reply bad = send(get(server_->url("/bad")));
  EXPECT_EQ(bad.result, kHTTPConnectorOK);
  EXPECT_EQ(bad.body, "not gzip at all");
  EXPECT_TRUE(log_.has(pando::kLogWarn, "Some error occured in unzip"));

  // The field name in lower case, as some servers send it, is honoured too.
  testserver::RawReplyServer raw(
      {"HTTP/1.1 200 OK\r\ncontent-encoding: gzip\r\n\r\n" + testserver::gzipCompress("inflated")});
  ASSERT_TRUE(raw.start());
  EXPECT_EQ(send(get(raw.url("/"))).body, "inflated");
}

TEST_F(HTTPConnectorTest, ErrorStatusesComeBackWithTheirHeadAndBody) {
  const Reply missing = send(get(server_->url("/missing")));
  EXPECT_EQ(missing.result, 404);
  EXPECT_EQ(missing.body, "404 Not Found\n");
  EXPECT_EQ(missing.headers.at("Content-Type"), "text/plain");
  EXPECT_EQ(connector_.getHTTPStatusCode(), 404);
  EXPECT_TRUE(log_.has(pando::kLogError, "received response code 404"));

  // A first 401 is the answer: no credentials are tried without a 407 first.
  server_->addRule(rule("/doc", 1, 1, FaultKind::Status, 401));
  EXPECT_EQ(send(get(server_->url("/doc"))).result, 401);
  EXPECT_EQ(server_->requestsFor("/doc").size(), 1u);
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
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  std::vector<int> fillers;
  for (int i = 0; i < 4; ++i) {
    fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
    ::connect(fillers.back(), reinterpret_cast<sockaddr*>(&address), sizeof address);
  }
  const std::string unanswered =
      "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";

  for (const std::string& url : {server_->url("/slow"), server_->url("/stall"), unanswered}) {
    ASSERT_EQ(send(get(server_->url("/doc"))).result, kHTTPConnectorOK);
    HTTPConnectorRequest request = get(url);
    request.timeoutSeconds = 1;
    const auto start = Clock::now();
    EXPECT_EQ(send(request).result, kHTTPConnectorTimedOut) << url;
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10)) << url;
    EXPECT_EQ(connector_.getHTTPStatusCode(), 0) << url;
  }
  for (int fd : fillers) ::close(fd);
  ::close(listener);
}

TEST_F(HTTPConnectorTest, BrokenConnectionsMapToTheirStreamErrors) {
  testserver::RawReplyServer silent({""});
  ASSERT_TRUE(silent.start());
  server_->addGenerated("/short", 10000, 2);
  server_->addRule(rule("/short", 1, 0, FaultKind::ShortBody));
  // A port nobody listens on: bound, then released.
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(probe);

  struct Case {
    std::string url;
    HTTPConnectorResponse result;
  } cases[] = {
      {silent.url("/"), kHTTPConnectorHTTPProtocolError},  // closed without a reply head
      {server_->url("/short"), kHTTPConnectorHTTPProtocolError},
      {"http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/",
       kHTTPConnectorPosixError},
      {"ftp://127.0.0.1/", kHTTPConnectorOtherStreamError},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(send(get(c.url)).result, c.result) << c.url;
  }
}

TEST_F(HTTPConnectorTest, TlsNeedsTheTestCaAndACurrentCertificate) {
  wendtest::TemporaryFolder folder;
  const std::string certificate = folder / "cert.pem";
  ASSERT_TRUE(testserver::writeTestCertificate(certificate, folder / "key.pem"));
  testserver::TestServerSettings settings;
  settings.tlsCertificateFile = certificate;
  settings.tlsKeyFile = folder / "key.pem";
  testserver::TestServer tls(settings);
  ASSERT_TRUE(tls.start());
  tls.addBody("/doc", "secure");

  EXPECT_EQ(send(get(tls.url("/doc"))).result, kHTTPConnectorSSLUnknownRoot);
  EXPECT_TRUE(tls.requests().empty());
  wendtest::ScopedEnv ca("WEND_CA_FILE", certificate);
  const Reply trusted = send(get(tls.url("/doc")));
  EXPECT_EQ(trusted.result, kHTTPConnectorOK);
  EXPECT_EQ(trusted.body, "secure");

  const std::string expired = folder / "expired.pem";
  ASSERT_TRUE(testserver::writeTestCertificate(expired, folder / "expired-key.pem", -60));
  settings.tlsCertificateFile = expired;
  settings.tlsKeyFile = folder / "expired-key.pem";
  testserver::TestServer stale(settings);
  ASSERT_TRUE(stale.start());
  wendtest::ScopedEnv staleCa("WEND_CA_FILE", expired);
  EXPECT_EQ(send(get(stale.url("/doc"))).result, kHTTPConnectorSSLCertExpired);
}

TEST_F(HTTPConnectorTest, ProxyChallengesAreAnsweredWithTheProxyCredentials) {
  struct Case {
    const char* user;  // null: no credentials set
    const char* password;
    HTTPConnectorResponse result;
    size_t requests;
  } cases[] = {
      {"user", "pass", kHTTPConnectorOK, 2},
      {"CORP\\user", "pass", kHTTPConnectorOK, 2},  // Basic needs no account domain
      {"user", "wrong", kHTTPConnectorProxyCredentialsFailed, 3},
      {nullptr, nullptr, kHTTPConnectorProxyCredentialsFailed, 2},
  };
  useProxy("user:pass");
  for (const Case& c : cases) {
    server_->clearLog();
    HTTPConnector connector;
    if (c.user != nullptr) {
      EXPECT_TRUE(connector.setProxyCredentials(c.user, c.password));
    }
    Reply reply;
    reply.result =
        connector.SendHTTPRequest(get("http://service.test/doc"), reply.headers, reply.body);
    EXPECT_EQ(reply.result, c.result) << (c.user ? c.user : "(none)");
    const auto requests = server_->requests();
    ASSERT_EQ(requests.size(), c.requests) << (c.user ? c.user : "(none)");
    EXPECT_FALSE(requests[0].request.hasHeader("Proxy-Authorization"));
    if (c.result == kHTTPConnectorOK) {
      EXPECT_EQ(requests[1].header("Proxy-Authorization"), "Basic dXNlcjpwYXNz");
      EXPECT_EQ(reply.body, "<reply>hello</reply>");
    }
  }
  EXPECT_FALSE(connector_.setProxyCredentials("", "pass"));
  EXPECT_TRUE(log_.has(pando::kLogTrace,
                       "Empty userName while setting proxy credentials for HTTP request"));
}

// Behind the proxy a 401 is answered with the (empty) server credentials; the 407/401 machine
// stops after one proxy attempt past its repeat mark.
TEST_F(HTTPConnectorTest, TheProxyAndServerRetryMachineIsBounded) {
  useProxy("user:pass");
  ASSERT_TRUE(connector_.setProxyCredentials("user", "pass"));
  struct Case {
    const char* name;
    std::vector<std::pair<unsigned, int>> statuses;  // request number -> status from then on
    HTTPConnectorResponse result;
    size_t requests;
  } cases[] = {
      {"server challenge answered", {{2, 401}, {3, 200}}, kHTTPConnectorOK, 3},
      {"proxy again after server", {{2, 401}, {3, 407}}, kHTTPConnectorProxyAuthRequired, 3},
      {"alternating stops",
       {{2, 407}, {3, 401}, {4, 407}},
       kHTTPConnectorProxyCredentialsFailed,
       4},
      {"second proxy attempt passes",
       {{2, 407}, {3, 404}},
       static_cast<HTTPConnectorResponse>(404),
       3},
  };
  for (const Case& c : cases) {
    server_->clearLog();
    server_->clearRules();
    for (size_t i = 0; i < c.statuses.size(); ++i) {
      const unsigned count = i + 1 < c.statuses.size() ? 1 : 0;
      if (c.statuses[i].second != 200) {
        server_->addRule(
            rule("/doc", c.statuses[i].first, count, FaultKind::Status, c.statuses[i].second));
      }
    }
    EXPECT_EQ(send(get("http://service.test/doc")).result, c.result) << c.name;
    const auto requests = server_->requests();
    EXPECT_EQ(requests.size(), c.requests) << c.name;
    if (std::string(c.name) == "server challenge answered" && requests.size() == 3) {
      EXPECT_EQ(requests[2].header("Authorization"), "Basic Og==");
      EXPECT_EQ(requests[2].header("Proxy-Authorization"), "Basic dXNlcjpwYXNz");
    }
  }
}

TEST_F(HTTPConnectorTest, SecretsStayOutOfTheLog) {
  useProxy("user:s3cret-proxy");
  ASSERT_TRUE(connector_.setProxyCredentials("user", "s3cret-proxy"));
  server_->addBody("/token", "{\"access_token\":\"tok-REPLY\"}");
  HTTPConnectorRequest request = get("http://service.test/token?code=AUTHCODE");
  request.method = "POST";
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
  EXPECT_EQ(reply.headers.size(), 3u);
  EXPECT_EQ(reply.headers.at("X-Folded"), "a b");
  EXPECT_TRUE(
      log_.has(pando::kLogWarn, "Unable to get HTTP response header key and value at index 1"));
  EXPECT_TRUE(log_.has(pando::kLogError, "Response message is empty"));
}

// To https the proxy is asked for a tunnel; its 407 to that request is answered the same way.
TEST_F(HTTPConnectorTest, ATunnelsProxyChallengeIsAnswered) {
  proxy_.emplace("https_proxy", server_->url(""));
  server_->addRule(rule("service.test:443", 1, 1, FaultKind::Status, 407));
  ASSERT_TRUE(connector_.setProxyCredentials("user", "pass"));
  const Reply reply = send(get("https://service.test/doc"));
  const auto requests = server_->requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method(), "CONNECT");
  EXPECT_FALSE(requests[0].request.hasHeader("Proxy-Authorization"));
  EXPECT_EQ(requests[1].header("Proxy-Authorization"), "Basic dXNlcjpwYXNz");
  EXPECT_EQ(reply.result, kHTTPConnectorPosixError);  // the test server opens no tunnels
}

}  // namespace
