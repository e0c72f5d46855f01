#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include <chrono>
#include <map>
#include <thread>
#include <vector>

#include "download/engine/http/HttpCommunicator.h"
#include "tests/download/engine/support/TestServerFixture.h"
#include "tools/testserver/TestCertificate.h"

namespace gde {
namespace {

using namespace std::chrono_literals;
using testserver::Fault;
using testserver::FaultKind;
using testserver::Rule;

constexpr uint64_t kSeed = 11;

HttpSettings quickSettings() {
  HttpSettings settings;
  settings.connectTimeout = 2s;
  settings.headTimeout = 2s;
  settings.readWait = 2s;
  settings.rangeProbeTimeout = 500ms;
  settings.rangeProbeRetryWait = 10ms;
  return settings;
}

Rule rule(const std::string& path, Fault fault, unsigned first = 1, unsigned count = 0) {
  return Rule{path, first, count, std::move(fault)};
}

Fault status(int code, int retryAfter = -1) {
  return {FaultKind::Status, code, retryAfter, 0, ""};
}
Fault fault(FaultKind kind, uint64_t bytes = 0) {
  return {kind, 0, -1, bytes, ""};
}

class HttpCommunicatorTest : public TestServerFixture {
 protected:
  // A communicator for `path` on this test's server; the environment holds only `variables`.
  HttpCommunicator& communicator(const std::string& path, HttpSettings settings = quickSettings(),
                                 std::map<std::string, std::string> variables = {}) {
    return communicatorFor(url(path), settings, std::move(variables));
  }

  HttpCommunicator& communicatorFor(const std::string& address, HttpSettings settings,
                                    std::map<std::string, std::string> variables = {}) {
    EXPECT_TRUE(preference_.resolveRequest(address));
    session_ = std::make_unique<HttpSession>(
        settings, [variables](const char* name) -> std::optional<std::string> {
          const auto found = variables.find(name);
          if (found == variables.end()) return std::nullopt;
          return found->second;
        });
    DLEErrorInfo error;
    EXPECT_TRUE(session_->init(&preference_, error));
    communicator_ = std::make_unique<HttpCommunicator>();
    EXPECT_TRUE(communicator_->init(session_.get(), &preference_));
    return *communicator_;
  }

  // Reads the whole response; the last read result goes to `result`.
  static std::string readAll(HttpCommunicator& http, int& result, uint32_t chunk = 65536) {
    std::string body;
    std::vector<uint8_t> buffer(chunk);
    uint32_t count = 0;
    do {
      result = http.downloadRemainingData(buffer.data(), count, 0, chunk);
      body.append(reinterpret_cast<const char*>(buffer.data()), count);
    } while (result == HttpCommunicator::kReadMoreData);
    return body;
  }

  static EngineErrorRecord errorOf(const HttpCommunicator& http) {
    EngineErrorRecord record;
    http.getError(record);
    return record;
  }

  DownloadPreference preference_;
  std::unique_ptr<HttpSession> session_;
  std::unique_ptr<HttpCommunicator> communicator_;
};

// ---- size, ETag and the range probe ------------------------------------------------------------

TEST_F(HttpCommunicatorTest, HeadGivesSizeAndETagAndTheProbeAsksForTheLastTwoBytes) {
  server().addGenerated("/file.bin", 123456, kSeed);
  auto& http = communicator("/file.bin");
  uint64_t size = 0;
  ASSERT_TRUE(http.getRemoteFileSize(size));
  EXPECT_EQ(size, 123456u);
  std::string etag;
  http.getResponseHeader("etag", etag);
  EXPECT_EQ(etag, "\"gen-11-123456\"");
  EXPECT_TRUE(http.checkByteRangeAcceptanceByServer(size, false));
  const auto log = server().requests();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].method(), "HEAD");
  EXPECT_EQ(log[0].header("User-Agent"), "Skyloom");
  EXPECT_EQ(log[1].range(), "bytes=123454-123455");

  auto& missing = communicator("/missing.bin");
  EXPECT_FALSE(missing.getRemoteFileSize(size));
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(errorOf(missing).type, ERROR_HTTP_NOT_FOUND);
  EXPECT_TRUE(missing.createAndSendRequest(""));  // a head arrived, the caller reads the error
}

TEST_F(HttpCommunicatorTest, RangeProbeFallsBackWhenNoByteArrivesInTime) {
  server().addGenerated("/file.bin", 1000, kSeed);
  server().addRule(rule("/file.bin", fault(FaultKind::StallBeforeReply), 2));
  auto& http = communicator("/file.bin");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(http.checkByteRangeAcceptanceByServer(1000, true));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 500ms);
  EXPECT_LT(took, 3s);
}

// Whether ranges are served, and how many requests (the HEAD included) it took to tell.
TEST_F(HttpCommunicatorTest, RangeProbeAnswersByWhatTheServerDoesAndRetriesTransientErrorsOnly) {
  struct Case {
    const char* path;
    uint64_t size;
    std::vector<Rule> rules;
    bool ranged;
    size_t requests;
  } cases[] = {
      {"/one.bin", 1, {}, true, 1},  // too small to ask: the HEAD only
      {"/ignored.bin", 1000, {rule("/ignored.bin", fault(FaultKind::IgnoreRange))}, false, 2},
      {"/busy.bin", 1000, {rule("/busy.bin", status(503), 2, 2)}, true, 4},
      {"/down.bin", 1000, {rule("/down.bin", status(503), 2)}, false, 1 + 5},  // five GETs at most
      {"/gone.bin", 1000, {rule("/gone.bin", status(404), 2)}, false, 2},      // fatal: no retry
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    server().addGenerated(c.path, c.size, kSeed);
    for (const Rule& r : c.rules) server().addRule(r);
    EXPECT_EQ(communicator(c.path).checkByteRangeAcceptanceByServer(c.size, true), c.ranged);
    EXPECT_EQ(server().requestsFor(c.path).size(), c.requests);
  }
}

// ---- GETs ---------------------------------------------------------------------------------------

TEST_F(HttpCommunicatorTest, RangedGetDeliversExactlyThatRange) {
  server().addGenerated("/file.bin", 1 << 20, kSeed);
  preference_.prefs.extraHeaders = {{"X-Client", "wend"}};
  preference_.rebuildHeaderObjects();
  preference_.appName = "Tarn";
  auto& http = communicator("/file.bin");
  ASSERT_TRUE(http.initHttpDownload(1000, 300999));
  int result = 0;
  EXPECT_EQ(readAll(http, result, 4096), generatedBytes(kSeed, 1000, 300000));
  EXPECT_EQ(result, HttpCommunicator::kReadComplete);
  const auto log = server().requests();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].range(), "bytes=1000-300999");
  EXPECT_EQ(log[0].header("X-Client"), "wend");
  EXPECT_EQ(log[0].header("User-Agent"), "Tarn");
}

TEST_F(HttpCommunicatorTest, PlainGetDeliversTheWholeFileFromDisk) {
  const std::string content = generatedBytes(3, 0, 5 << 20);
  writeIn(scratch(), "disk.bin", content);
  auto& http = communicator("/disk.bin");
  ASSERT_TRUE(http.initSingleStreamDownload());
  int result = 0;
  EXPECT_TRUE(readAll(http, result, 1 << 20) == content);
  EXPECT_EQ(result, HttpCommunicator::kReadComplete);
  EXPECT_EQ(errorOf(http).type, ERROR_NONE);
  EXPECT_EQ(server().requests()[0].range(), "");
}

TEST_F(HttpCommunicatorTest, ConsecutiveRequestsReuseTheConnection) {
  server().addGenerated("/file.bin", 100000, kSeed);
  auto& http = communicator("/file.bin");
  uint64_t size = 0;
  ASSERT_TRUE(http.getRemoteFileSize(size));
  for (uint64_t first = 0; first < size; first += 25000) {
    ASSERT_TRUE(http.initHttpDownload(first, first + 24999));
    int result = 0;
    EXPECT_EQ(readAll(http, result), generatedBytes(kSeed, first, 25000));
  }
  EXPECT_EQ(server().requests().size(), 5u);
  EXPECT_EQ(server().connectionsAccepted(), 1u);
}

TEST_F(HttpCommunicatorTest, ARangedGetMustBeAnsweredWithThatRange) {
  server().addGenerated("/ignore.bin", 1000, kSeed);
  server().addGenerated("/wrong.bin", 1000, kSeed);
  server().addRule(rule("/ignore.bin", fault(FaultKind::IgnoreRange)));
  server().addRule(rule("/wrong.bin", fault(FaultKind::WrongContentRange)));
  for (const char* path : {"/ignore.bin", "/wrong.bin"}) {
    auto& http = communicator(path);
    ASSERT_TRUE(http.initHttpDownload(100, 199));
    int result = 0;
    EXPECT_EQ(readAll(http, result), "") << path;
    EXPECT_EQ(result, HttpCommunicator::kReadError) << path;
    EXPECT_EQ(errorOf(http).type, ERROR_HTTP_PARSE_FAILURE) << path;
  }
}

TEST_F(HttpCommunicatorTest, GzipBodiesArriveAsSentWithTheirEncoding) {
  const std::string text(20000, 'g');
  server().addBody("/page.xml", text);
  server().enableGzip("/page.xml");
  ASSERT_TRUE(preference_.addHeaderObject("Accept-Encoding", "gzip"));
  auto& http = communicator("/page.xml");
  ASSERT_TRUE(http.initSingleStreamDownload());
  int result = 0;
  const std::string body = readAll(http, result);
  EXPECT_EQ(result, HttpCommunicator::kReadComplete);
  EXPECT_LT(body.size(), text.size());
  EXPECT_EQ(body.substr(0, 2), "\x1f\x8b");  // the gzip magic: decoding is the caller's
  std::string encoding;
  http.getResponseHeader("Content-Encoding", encoding);
  EXPECT_EQ(encoding, "gzip");
}

TEST_F(HttpCommunicatorTest, RedirectsAreFollowedButNotForever) {
  server().addGenerated("/file.bin", 1000, kSeed);
  server().addRule(rule("/moved.bin", {FaultKind::Redirect, 0, -1, 0, "/file.bin"}));
  server().addRule(rule("/loop.bin", fault(FaultKind::RedirectLoop)));
  auto& http = communicator("/moved.bin");
  ASSERT_TRUE(http.initSingleStreamDownload());
  int result = 0;
  EXPECT_EQ(readAll(http, result), generatedBytes(kSeed, 0, 1000));

  auto& loop = communicator("/loop.bin");
  ASSERT_TRUE(loop.initSingleStreamDownload());
  EXPECT_EQ(readAll(loop, result), "");
  EXPECT_EQ(result, HttpCommunicator::kReadError);
  EXPECT_EQ(errorOf(loop).type, ERROR_HTTP_REDIRECT_LOOP);
}

TEST_F(HttpCommunicatorTest, TheCallersHeadersStayWithTheHostTheyWereMeantFor) {
  server().addGenerated("/file.bin", 1000, kSeed);
  const std::string otherHost = "http://localhost:" + std::to_string(server().port());
  server().addRule(rule("/near.bin", {FaultKind::Redirect, 0, -1, 0, "/file.bin"}));
  server().addRule(rule("/far.bin", {FaultKind::Redirect, 0, -1, 0, otherHost + "/file.bin"}));
  for (auto [path, kept] : {std::pair{"/near.bin", true}, std::pair{"/far.bin", false}}) {
    server().clearLog();
    auto& http = communicator(path);
    preference_.addHeaderObject("X-Caller", "secret");
    ASSERT_TRUE(http.initSingleStreamDownload());
    int result = 0;
    EXPECT_EQ(readAll(http, result), generatedBytes(kSeed, 0, 1000)) << path;
    const auto requests = server().requests();
    ASSERT_EQ(requests.size(), 2u) << path;
    EXPECT_EQ(requests[0].header("X-Caller"), "secret") << path;
    EXPECT_EQ(requests[1].header("X-Caller"), kept ? "secret" : "") << path;
  }
}

TEST_F(HttpCommunicatorTest, CookiesAreKeptAndSentBack) {
  server().addBody("/login", "ok", {{"Set-Cookie", "session=abc123; Path=/"}});
  server().addBody("/next", "ok");
  auto& http = communicator("/login");
  ASSERT_TRUE(http.createAndSendRequest(""));
  EXPECT_EQ(session_->cookie(), "session=abc123; Path=/");
  ASSERT_TRUE(http.createAndSendRequest("next"));
  EXPECT_EQ(server().requestsFor("/next").at(0).header("Cookie"), "session=abc123");
}

TEST_F(HttpCommunicatorTest, UrlsAreSentAsGivenWithOnlyIllegalBytesEscaped) {
  server().addBody("/a%2Fb%3F%23%25%00.bin", "escaped");
  server().addBody("/with%20space.bin", "space");
  auto& http = communicator("/a%2Fb%3F%23%25%00.bin");
  ASSERT_TRUE(http.createAndSendRequest(""));
  ASSERT_TRUE(http.createAndSendRequest("with space.bin"));
  const auto log = server().requests();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].request.target, "/a%2Fb%3F%23%25%00.bin");
  EXPECT_EQ(log[1].request.target, "/with%20space.bin");
  EXPECT_EQ(http.getStatusCode(), 200);
}

// ---- statuses -----------------------------------------------------------------------------------

TEST_F(HttpCommunicatorTest, StatusesBecomeTheirErrorTypes) {
  struct Case {
    int status;
    bool singleStream;
    bool noRetrial;
    uint32_t type;
  };
  const Case cases[] = {
      {401, false, false, ERROR_HTTP_AUTH_FAILED},  {404, false, false, ERROR_HTTP_NOT_FOUND},
      {407, false, false, ERROR_HTTP_PROXY_AUTH},   {408, false, false, http_timeout_error},
      {408, true, false, http_backoff_error},       {408, true, true, ERROR_HTTP_FATAL},
      {429, false, false, ERROR_HTTP_FATAL},        {429, true, false, http_backoff_error},
      {429, true, true, ERROR_HTTP_FATAL},          {503, false, false, ERROR_HTTP_INTERMITTENT},
      {504, false, false, ERROR_HTTP_INTERMITTENT}, {503, true, false, http_backoff_error},
      {504, false, true, ERROR_HTTP_FATAL},         {500, false, false, ERROR_HTTP_FATAL},
      {418, true, false, ERROR_HTTP_FATAL},
  };
  for (const Case& c : cases) {
    const std::string path = "/status-" + std::to_string(c.status);
    server().clearRules();
    server().addRule(rule(path, status(c.status)));
    preference_.singleStreamInEffect = c.singleStream;
    preference_.noRetrialInEffect = c.noRetrial;
    auto& http = communicator(path);
    ASSERT_TRUE(http.initSingleStreamDownload());
    int result = 0;
    EXPECT_EQ(readAll(http, result), "") << c.status;
    EXPECT_EQ(result, HttpCommunicator::kReadError) << c.status;
    EXPECT_EQ(errorOf(http).type, c.type) << c.status << " " << c.singleStream << c.noRetrial;
    EXPECT_EQ(errorOf(http).code, c.status);
  }
}

TEST_F(HttpCommunicatorTest, RetryAfterIsReadForBackOffUpToTheMaximum) {
  struct Case {
    int retryAfter;
    uint32_t maximum;
    uint32_t type;
    int32_t wait;
  };
  const Case cases[] = {
      {7, 60, http_backoff_error, 7},
      {-1, 60, http_backoff_error, 0},
      {120, 60, ERROR_HTTP_FATAL, 120},
      {120, 300, http_backoff_error, 120},
  };
  for (const Case& c : cases) {
    server().clearRules();
    server().addRule(rule("/busy", status(429, c.retryAfter)));
    preference_.singleStreamInEffect = 1;
    preference_.maxRetryAfterInEffect = c.maximum;
    auto& http = communicator("/busy");
    ASSERT_TRUE(http.initSingleStreamDownload());
    int result = 0;
    readAll(http, result);
    EXPECT_EQ(errorOf(http).type, c.type) << c.retryAfter << "/" << c.maximum;
    EXPECT_EQ(errorOf(http).retryAfter, c.wait) << c.retryAfter << "/" << c.maximum;
  }
}

// ---- proxy --------------------------------------------------------------------------------------

TEST_F(HttpCommunicatorTest, ProxyChallengesAreAnsweredWithTheProxyCredentials) {
  server().setProxyCredentials("alice:s3cret");
  server().addGenerated("/file.bin", 5000, kSeed);
  preference_.prefs.prefText1 = "alice";
  preference_.prefs.prefText2 = "s3cret";
  const std::map<std::string, std::string> proxy = {{"http_proxy", url("")}};
  auto& http = communicatorFor("http://origin.test/file.bin", quickSettings(), proxy);
  ASSERT_TRUE(http.initSingleStreamDownload());
  int result = 0;
  EXPECT_EQ(readAll(http, result), generatedBytes(kSeed, 0, 5000));
  const auto log = server().requestsFor("/file.bin");
  ASSERT_FALSE(log.empty());
  EXPECT_TRUE(log.back().request.absoluteForm);
  EXPECT_EQ(log.back().request.target, "http://origin.test/file.bin");
  EXPECT_EQ(log.back().header("Proxy-Authorization"), "Basic YWxpY2U6czNjcmV0");
}

TEST_F(HttpCommunicatorTest, RefusedProxyCredentialsEndAsProxyAuthError) {
  server().setProxyCredentials("alice:s3cret");
  server().addGenerated("/file.bin", 5000, kSeed);
  preference_.prefs.prefText1 = "alice";
  preference_.prefs.prefText2 = "wrong";
  const std::map<std::string, std::string> proxy = {{"http_proxy", url("")}};
  auto& http = communicatorFor("http://origin.test/file.bin", quickSettings(), proxy);
  uint64_t size = 0;
  EXPECT_FALSE(http.getRemoteFileSize(size));
  EXPECT_EQ(errorOf(http).type, ERROR_HTTP_PROXY_AUTH);
  EXPECT_LE(server().requestsFor("/file.bin").size(), 2u);  // one challenge, one answer
}

TEST_F(HttpCommunicatorTest, NoProxyHostsGoDirect) {
  server().addGenerated("/file.bin", 100, kSeed);
  const std::map<std::string, std::string> variables = {{"http_proxy", "http://127.0.0.1:1"},
                                                        {"no_proxy", "example.org, 127.0.0.1"}};
  auto& http = communicator("/file.bin", quickSettings(), variables);
  uint64_t size = 0;
  EXPECT_TRUE(http.getRemoteFileSize(size));
  EXPECT_FALSE(server().requests().at(0).request.absoluteForm);
}

// ---- broken transfers ---------------------------------------------------------------------------

TEST_F(HttpCommunicatorTest, ResetAndShortBodiesAreConnectionErrors) {
  server().addGenerated("/reset.bin", 1 << 20, kSeed);
  server().addGenerated("/short.bin", 1 << 20, kSeed);
  server().addRule(rule("/reset.bin", fault(FaultKind::ResetAfterBytes, 100000)));
  server().addRule(rule("/short.bin", fault(FaultKind::ShortBody)));
  for (const char* path : {"/reset.bin", "/short.bin"}) {
    auto& http = communicator(path);
    ASSERT_TRUE(http.initHttpDownload(0, (1 << 20) - 1));
    int result = 0;
    const std::string body = readAll(http, result);
    EXPECT_EQ(result, HttpCommunicator::kReadError) << path;
    EXPECT_EQ(errorOf(http).type, ERROR_HTTP_CONNECTION_ERR) << path;
    EXPECT_LT(body.size(), 1u << 20) << path;
    EXPECT_EQ(body, generatedBytes(kSeed, 0, body.size())) << path;
  }
}

TEST_F(HttpCommunicatorTest, AStalledBodyReportsNoDataYetAfterTheReadWait) {
  server().addGenerated("/stall.bin", 100000, kSeed);
  server().addRule(rule("/stall.bin", fault(FaultKind::StallAfterBytes, 1000)));
  HttpSettings settings = quickSettings();
  settings.readWait = 200ms;
  auto& http = communicator("/stall.bin", settings);
  ASSERT_TRUE(http.initSingleStreamDownload());
  std::vector<uint8_t> buffer(100000);
  uint32_t count = 0;
  uint32_t total = 0;
  int result;
  while ((result = http.downloadRemainingData(buffer.data(), count, 0, 100000)) ==
             HttpCommunicator::kReadMoreData &&
         count > 0) {
    total += count;
  }
  EXPECT_EQ(result, HttpCommunicator::kReadMoreData);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(total, 1000u);
}

TEST_F(HttpCommunicatorTest, AStalledHeadTimesOut) {
  server().addRule(rule("/quiet.bin", fault(FaultKind::StallBeforeReply)));
  HttpSettings settings = quickSettings();
  settings.headTimeout = 300ms;
  auto& http = communicator("/quiet.bin", settings);
  uint64_t size = 0;
  EXPECT_FALSE(http.getRemoteFileSize(size));
  EXPECT_EQ(errorOf(http).type, http_timeout_error);
}

TEST_F(HttpCommunicatorTest, TransportFailuresMapToTheirMeaning) {
  auto& refused = communicatorFor("http://127.0.0.1:1/file.bin", quickSettings());
  uint64_t size = 0;
  EXPECT_FALSE(refused.getRemoteFileSize(size));
  EXPECT_EQ(errorOf(refused).type, ERROR_HTTP_CONNECTION_ERR);
  EXPECT_EQ(errorOf(refused).code, CURLE_COULDNT_CONNECT);

  // TLS to a server that speaks plain HTTP: the handshake fails, and that is never retried.
  server().addGenerated("/file.bin", 10, kSeed);
  auto& tls = communicatorFor("https://127.0.0.1:" + std::to_string(server().port()) + "/file.bin",
                              quickSettings());
  EXPECT_FALSE(tls.getRemoteFileSize(size));
  EXPECT_EQ(errorOf(tls).type, ERROR_HTTP_FATAL);
}

TEST_F(HttpCommunicatorTest, UnsafeHeadersAndPortsAreRefusedBeforeAnythingIsSent) {
  server().addGenerated("/file.bin", 10, kSeed);
  preference_.appName = "Tarn\r\nX-Injected: 1";
  auto& http = communicator("/file.bin");
  EXPECT_FALSE(http.initSingleStreamDownload());
  EXPECT_EQ(errorOf(http).type, ERROR_HTTP_FATAL);

  preference_.appName = "Tarn";
  auto& noPort = communicator("/file.bin");
  preference_.port = 70000;
  EXPECT_FALSE(noPort.initSingleStreamDownload());
  EXPECT_EQ(errorOf(noPort).type, ERROR_HTTP_NOT_FOUND);
  EXPECT_TRUE(server().requests().empty());
}

// ---- TLS ----------------------------------------------------------------------------------------

class HttpCommunicatorTlsTest : public HttpCommunicatorTest {
 protected:
  testserver::TestServer& startTlsServer(int maxVersion = 0) {
    certificate_ = (scratch() / "server.pem");
    const std::string key = (scratch() / "server.key");
    EXPECT_TRUE(testserver::writeTestCertificate(certificate_, key));
    testserver::TestServerSettings settings;
    settings.tlsCertificateFile = certificate_;
    settings.tlsKeyFile = key;
    settings.tlsMaxVersion = maxVersion;
    tlsServer_ = std::make_unique<testserver::TestServer>(settings);
    EXPECT_TRUE(tlsServer_->start());
    tlsServer_->addGenerated("/file.bin", 70000, kSeed);
    return *tlsServer_;
  }

  std::string certificate_;
  std::unique_ptr<testserver::TestServer> tlsServer_;
};

TEST_F(HttpCommunicatorTlsTest, AnUntrustedCertificateIsRefused) {
  auto& tls = startTlsServer();
  auto& http = communicatorFor(tls.url("/file.bin"), quickSettings());
  uint64_t size = 0;
  EXPECT_FALSE(http.getRemoteFileSize(size));
  EXPECT_EQ(errorOf(http).type, ERROR_HTTP_FATAL);
  EXPECT_TRUE(tls.requests().empty());
}

TEST_F(HttpCommunicatorTlsTest, TheTestCaFileIsTrustedBesideTheSystemOnes) {
  auto& tls = startTlsServer();
  auto& http =
      communicatorFor(tls.url("/file.bin"), quickSettings(), {{"WEND_CA_FILE", certificate_}});
  uint64_t size = 0;
  ASSERT_TRUE(http.getRemoteFileSize(size));
  EXPECT_EQ(size, 70000u);
  ASSERT_TRUE(http.initHttpDownload(100, 69999));
  int result = 0;
  EXPECT_EQ(readAll(http, result), generatedBytes(kSeed, 100, 69900));
}

TEST_F(HttpCommunicatorTlsTest, ARedirectNeverLeavesHttps) {
  auto& tls = startTlsServer();
  server().addGenerated("/file.bin", 70000, kSeed);
  tls.addRule(rule("/file.bin", {FaultKind::Redirect, 0, -1, 0, server().url("/file.bin")}));
  auto& http =
      communicatorFor(tls.url("/file.bin"), quickSettings(), {{"WEND_CA_FILE", certificate_}});
  preference_.addHeaderObject("X-Caller", "secret");
  ASSERT_TRUE(http.initSingleStreamDownload());
  int result = 0;
  EXPECT_EQ(readAll(http, result), "");
  EXPECT_EQ(result, HttpCommunicator::kReadError);
  EXPECT_TRUE(server().requests().empty()) << "nothing went out in clear text";
}

TEST_F(HttpCommunicatorTlsTest, ProtocolsOlderThanTls12AreRefused) {
  auto& tls = startTlsServer(TLS1_1_VERSION);
  auto& http =
      communicatorFor(tls.url("/file.bin"), quickSettings(), {{"WEND_CA_FILE", certificate_}});
  uint64_t size = 0;
  EXPECT_FALSE(http.getRemoteFileSize(size));
  EXPECT_EQ(errorOf(http).type, ERROR_HTTP_FATAL);
  EXPECT_TRUE(tls.requests().empty());
}

// ---- lifecycle ----------------------------------------------------------------------------------

TEST_F(HttpCommunicatorTest, AnUninitialisedCommunicatorRefusesWork) {
  HttpCommunicator http;
  uint8_t buffer[16];
  uint32_t count = 9;
  EXPECT_EQ(http.downloadRemainingData(buffer, count, 0, sizeof buffer),
            HttpCommunicator::kReadNotInitialized);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(errorOf(http).type, ERROR_NOT_INITIALIZED);
  EXPECT_FALSE(http.initHttpDownload(0, 1));
  uint64_t size = 0;
  EXPECT_FALSE(http.getRemoteFileSize(size));
  EXPECT_FALSE(http.init(nullptr, nullptr));
}

TEST_F(HttpCommunicatorTest, CancelFromAnotherThreadEndsAStalledReadAtOnce) {
  server().addGenerated("/stall.bin", 100000, kSeed);
  server().addRule(rule("/stall.bin", fault(FaultKind::StallAfterBytes, 10)));
  HttpSettings settings = quickSettings();
  settings.readWait = 10s;
  auto& http = communicator("/stall.bin", settings);
  ASSERT_TRUE(http.initSingleStreamDownload());
  std::thread canceller([&http] {
    std::this_thread::sleep_for(300ms);
    http.cancel();
  });
  const auto start = std::chrono::steady_clock::now();
  int result = 0;
  readAll(http, result);
  const auto took = std::chrono::steady_clock::now() - start;
  canceller.join();
  EXPECT_EQ(result, HttpCommunicator::kReadError);
  EXPECT_LT(took, 3s);
  EXPECT_FALSE(http.initSingleStreamDownload());         // cancelled for good ...
  ASSERT_TRUE(http.init(session_.get(), &preference_));  // ... until the next init
  server().clearRules();
  ASSERT_TRUE(http.initSingleStreamDownload());
  EXPECT_EQ(readAll(http, result).size(), 100000u);
}

TEST_F(HttpCommunicatorTest, CancelEndsAStalledHeadAndTheRangeProbe) {
  server().addGenerated("/quiet.bin", 1000, kSeed);
  server().addRule(rule("/quiet.bin", fault(FaultKind::StallBeforeReply)));
  HttpSettings settings = quickSettings();
  settings.headTimeout = 30s;
  auto& http = communicator("/quiet.bin", settings);
  std::thread canceller([&http] {
    std::this_thread::sleep_for(200ms);
    http.cancel();
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(http.checkByteRangeAcceptanceByServer(1000, true));
  canceller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
}

}  // namespace
}  // namespace gde
