#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tools/testserver/BodyPattern.h"
#include "tools/testserver/ServerScript.h"
#include "tools/testserver/TestServer.h"

namespace testserver {
namespace {

using namespace std::chrono_literals;

// A raw client, so the server's bytes are seen exactly as sent.
class RawClient {
 public:
  explicit RawClient(uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~RawClient() { ::close(fd_); }

  bool send(const std::string& text) {
    return connected_ &&
           ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
  }

  // Reads until the peer closes, fails, or nothing arrives within `quiet`.
  std::string readAll(std::chrono::milliseconds quiet = 2000ms) {
    std::string all;
    char buffer[65536];
    for (;;) {
      pollfd watch{fd_, POLLIN, 0};
      if (::poll(&watch, 1, static_cast<int>(quiet.count())) <= 0) break;
      const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
      if (got < 0) lastErrno_ = errno;
      if (got <= 0) break;
      all.append(buffer, static_cast<size_t>(got));
    }
    return all;
  }

  // Reads exactly one response whose body length is in its Content-Length.
  std::string readResponse(bool head = false) {
    std::string all;
    char c;
    while (all.find("\r\n\r\n") == std::string::npos && ::recv(fd_, &c, 1, 0) == 1) all += c;
    const size_t at = all.find("Content-Length: ");
    size_t length = at == std::string::npos ? 0 : std::strtoul(all.c_str() + at + 16, nullptr, 10);
    if (head) length = 0;
    std::string body(length, '\0');
    size_t done = 0;
    while (done < length) {
      const ssize_t got = ::recv(fd_, body.data() + done, length - done, 0);
      if (got <= 0) break;
      done += static_cast<size_t>(got);
    }
    return all + body.substr(0, done);
  }

  int lastErrno() const { return lastErrno_; }

 private:
  int fd_;
  bool connected_ = false;
  int lastErrno_ = 0;
};

std::string get(const std::string& path, const std::string& extra = "",
                const std::string& method = "GET") {
  return method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra +
         "Connection: close\r\n\r\n";
}

std::string bodyOf(const std::string& response) {
  const size_t at = response.find("\r\n\r\n");
  return at == std::string::npos ? "" : response.substr(at + 4);
}

std::string expectedPattern(uint64_t seed, uint64_t offset, size_t length) {
  std::string out(length, '\0');
  fillPattern(seed, offset, reinterpret_cast<unsigned char*>(out.data()), length);
  return out;
}

class TestServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/wend-testserver-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    root_ = folder;
    settings_.root = root_;
    settings_.stallLimit = 5s;
  }
  void TearDown() override {
    server_.reset();
    std::system(("rm -rf " + root_).c_str());
  }
  TestServer& start() {
    server_ = std::make_unique<TestServer>(settings_);
    EXPECT_TRUE(server_->start());
    return *server_;
  }
  std::string exchange(const std::string& request) {
    RawClient client(server_->port());
    client.send(request);
    return client.readAll();
  }

  std::string root_;
  TestServerSettings settings_;
  std::unique_ptr<TestServer> server_;
};

TEST_F(TestServerTest, ServesFilesUnderTheRootAndNothingOutsideIt) {
  std::ofstream(root_ + "/a.txt") << "hello file";
  start();
  const std::string response = exchange(get("/a.txt"));
  EXPECT_EQ(response.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_NE(response.find("Content-Length: 10\r\n"), std::string::npos);
  EXPECT_NE(response.find("ETag: \""), std::string::npos);
  EXPECT_EQ(bodyOf(response), "hello file");
  EXPECT_EQ(exchange(get("/../" + root_.substr(5) + "/a.txt")).rfind("HTTP/1.1 404", 0), 0u);
  EXPECT_EQ(exchange(get("/missing")).rfind("HTTP/1.1 404", 0), 0u);
}

TEST_F(TestServerTest, AnswersWhatIsNotHttpAtOnceWith400) {
  start();
  EXPECT_EQ(exchange(std::string("\x16\x03\x01\x00", 4)).rfind("HTTP/1.1 400", 0), 0u);
  EXPECT_EQ(exchange("GET\r\n\r\n").rfind("HTTP/1.1 400", 0), 0u);
}

TEST_F(TestServerTest, GeneratedBodiesFollowTheirPatternAndHeadSendsNoBody) {
  auto& server = start();
  server.addGenerated("/gen.bin", 100000, 7);
  EXPECT_EQ(bodyOf(exchange(get("/gen.bin"))), expectedPattern(7, 0, 100000));
  const std::string head = exchange(get("/gen.bin", "", "HEAD"));
  EXPECT_NE(head.find("Content-Length: 100000\r\n"), std::string::npos);
  EXPECT_EQ(bodyOf(head), "");
  EXPECT_EQ(patternByte(7, 12345), static_cast<uint8_t>(expectedPattern(7, 12345, 1)[0]));
}

TEST_F(TestServerTest, AnswersSingleRangesWith206AndTheirContentRange) {
  auto& server = start();
  server.addGenerated("/r.bin", 1000, 3);
  std::string response = exchange(get("/r.bin", "Range: bytes=998-999\r\n"));
  EXPECT_EQ(response.rfind("HTTP/1.1 206", 0), 0u);
  EXPECT_NE(response.find("Content-Range: bytes 998-999/1000\r\n"), std::string::npos);
  EXPECT_NE(response.find("Content-Length: 2\r\n"), std::string::npos);
  EXPECT_EQ(bodyOf(response), expectedPattern(3, 998, 2));
  response = exchange(get("/r.bin", "Range: bytes=-10\r\n"));
  EXPECT_NE(response.find("Content-Range: bytes 990-999/1000\r\n"), std::string::npos);
  response = exchange(get("/r.bin", "Range: bytes=500-\r\n"));
  EXPECT_EQ(bodyOf(response), expectedPattern(3, 500, 500));
  response = exchange(get("/r.bin", "Range: bytes=1000-1001\r\n"));
  EXPECT_EQ(response.rfind("HTTP/1.1 416", 0), 0u);
  EXPECT_NE(response.find("Content-Range: bytes */1000\r\n"), std::string::npos);
}

TEST_F(TestServerTest, GzipIsSentOnlyToClientsThatAcceptIt) {
  auto& server = start();
  const std::string text(5000, 'z');
  server.addBody("/z.txt", text);
  server.enableGzip("/z.txt");
  EXPECT_EQ(bodyOf(exchange(get("/z.txt"))), text);
  const std::string response = exchange(get("/z.txt", "Accept-Encoding: gzip\r\n"));
  ASSERT_NE(response.find("Content-Encoding: gzip\r\n"), std::string::npos);
  const std::string packed = bodyOf(response);
  EXPECT_LT(packed.size(), text.size());
  std::string inflated(text.size() + 16, '\0');
  z_stream stream{};
  inflateInit2(&stream, 31);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
  stream.avail_in = static_cast<uInt>(packed.size());
  stream.next_out = reinterpret_cast<Bytef*>(inflated.data());
  stream.avail_out = static_cast<uInt>(inflated.size());
  EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
  inflated.resize(stream.total_out);
  inflateEnd(&stream);
  EXPECT_EQ(inflated, text);
}

TEST_F(TestServerTest, LogsEveryRequestWithItsNumberPerPath) {
  auto& server = start();
  server.addBody("/x", "x");
  exchange(get("/x", "Range: bytes=0-0\r\nX-Probe: one\r\n"));
  exchange(get("/x", "", "HEAD"));
  exchange(get("/y?q=1"));
  const auto log = server.requests();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].method(), "GET");
  EXPECT_EQ(log[0].range(), "bytes=0-0");
  EXPECT_EQ(log[0].header("x-probe"), "one");
  EXPECT_EQ(log[1].method(), "HEAD");
  EXPECT_EQ(log[1].pathRequestNumber, 2u);
  EXPECT_EQ(log[2].path(), "/y");
  EXPECT_EQ(log[2].request.target, "/y?q=1");
  EXPECT_EQ(server.requestsFor("/x").size(), 2u);
}

TEST_F(TestServerTest, KeepsConnectionsAliveAcrossRequests) {
  auto& server = start();
  server.addBody("/k", "keep");
  RawClient client(server.port());
  const std::string request = "GET /k HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  ASSERT_TRUE(client.send(request));
  EXPECT_EQ(bodyOf(client.readResponse()), "keep");
  ASSERT_TRUE(client.send(request));
  EXPECT_EQ(bodyOf(client.readResponse()), "keep");
  EXPECT_EQ(server.connectionsAccepted(), 1u);
  const auto log = server.requests();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].connectionId, log[1].connectionId);
}

TEST_F(TestServerTest, ScriptedStatusesApplyToTheirRequestNumbersOnly) {
  auto& server = start();
  server.addBody("/s", "ok");
  server.addRule({"/s", 1, 2, {FaultKind::Status, 503, 7, 0, ""}});
  server.addRule({"/auth", 1, 0, {FaultKind::Status, 401, -1, 0, ""}});
  server.addRule({"/proxy", 1, 0, {FaultKind::Status, 407, -1, 0, ""}});
  std::string response = exchange(get("/s"));
  EXPECT_EQ(response.rfind("HTTP/1.1 503", 0), 0u);
  EXPECT_NE(response.find("Retry-After: 7\r\n"), std::string::npos);
  EXPECT_EQ(exchange(get("/s")).rfind("HTTP/1.1 503", 0), 0u);
  EXPECT_EQ(exchange(get("/s")).rfind("HTTP/1.1 200", 0), 0u);
  EXPECT_NE(exchange(get("/auth")).find("WWW-Authenticate: Basic"), std::string::npos);
  EXPECT_NE(exchange(get("/proxy")).find("Proxy-Authenticate: Basic"), std::string::npos);
}

TEST_F(TestServerTest, ResetAfterBytesCutsTheConnection) {
  auto& server = start();
  server.addGenerated("/cut", 100000, 1);
  server.addRule({"/cut", 1, 0, {FaultKind::ResetAfterBytes, 0, -1, 1000, ""}});
  RawClient client(server.port());
  client.send(get("/cut"));
  const std::string response = client.readAll();
  EXPECT_NE(response.find("Content-Length: 100000\r\n"), std::string::npos);
  EXPECT_EQ(bodyOf(response), expectedPattern(1, 0, 1000));
  EXPECT_EQ(client.lastErrno(), ECONNRESET);
}

TEST_F(TestServerTest, ShortBodyPromisesMoreThanItSends) {
  auto& server = start();
  server.addGenerated("/short", 1000, 1);
  server.addRule({"/short", 1, 0, {FaultKind::ShortBody, 0, -1, 0, ""}});
  const std::string response = exchange(get("/short"));
  EXPECT_NE(response.find("Content-Length: 1000\r\n"), std::string::npos);
  EXPECT_EQ(bodyOf(response).size(), 500u);
}

TEST_F(TestServerTest, StallsHoldTheReplyUntilStop) {
  auto& server = start();
  server.addGenerated("/stall", 1000, 1);
  server.addRule({"/stall", 1, 0, {FaultKind::StallAfterBytes, 0, -1, 10, ""}});
  server.addRule({"/quiet", 1, 1, {FaultKind::StallBeforeReply, 0, -1, 0, ""}});
  RawClient quiet(server.port());
  quiet.send(get("/quiet"));
  RawClient client(server.port());
  client.send(get("/stall"));
  EXPECT_EQ(bodyOf(client.readAll(300ms)).size(), 10u);
  EXPECT_EQ(quiet.readAll(300ms), "");
  const auto before = std::chrono::steady_clock::now();
  server.stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
}

TEST_F(TestServerTest, CloseBeforeReplyAnswersNothingAndServesTheNextRequest) {
  auto& server = start();
  server.addGenerated("/gone", 100, 1);
  server.addRule({"/gone", 1, 1, {FaultKind::CloseBeforeReply, 0, -1, 0, ""}});
  RawClient first(server.port());
  first.send(get("/gone"));
  EXPECT_EQ(first.readAll(1s), "");
  EXPECT_EQ(bodyOf(exchange(get("/gone"))), expectedPattern(1, 0, 100));
}

TEST_F(TestServerTest, SlowBodyKeepsToItsRate) {
  auto& server = start();
  server.addGenerated("/slow", 2000, 1);
  server.addRule({"/slow", 1, 0, {FaultKind::SlowBody, 0, -1, 10000, ""}});
  const auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(bodyOf(exchange(get("/slow"))), expectedPattern(1, 0, 2000));
  EXPECT_GE(std::chrono::steady_clock::now() - before, 150ms);
}

TEST_F(TestServerTest, RangeFaultsAnswerWithTheWrongPart) {
  auto& server = start();
  server.addGenerated("/ignore", 100, 2);
  server.addGenerated("/wrong", 100, 2);
  server.addRule({"/ignore", 1, 0, {FaultKind::IgnoreRange, 0, -1, 0, ""}});
  server.addRule({"/wrong", 1, 0, {FaultKind::WrongContentRange, 0, -1, 0, ""}});
  std::string response = exchange(get("/ignore", "Range: bytes=10-19\r\n"));
  EXPECT_EQ(response.rfind("HTTP/1.1 200", 0), 0u);
  EXPECT_EQ(bodyOf(response).size(), 100u);
  response = exchange(get("/wrong", "Range: bytes=10-19\r\n"));
  EXPECT_NE(response.find("Content-Range: bytes 11-20/100\r\n"), std::string::npos);
  EXPECT_EQ(bodyOf(response), expectedPattern(2, 11, 10));
}

TEST_F(TestServerTest, ChangedEtagAndRedirects) {
  auto& server = start();
  server.addBody("/e", "e");
  const std::string first = exchange(get("/e"));
  server.addRule({"/e", 2, 0, {FaultKind::ChangedEtag, 0, -1, 0, ""}});
  const std::string second = exchange(get("/e"));
  auto etag = [](const std::string& r) {
    return r.substr(r.find("ETag:"), r.find("\r\n", r.find("ETag:")) - r.find("ETag:"));
  };
  EXPECT_NE(etag(first), etag(second));
  server.addRule({"/loop", 1, 0, {FaultKind::RedirectLoop, 0, -1, 0, ""}});
  server.addRule({"/moved", 1, 0, {FaultKind::Redirect, 0, -1, 0, "/e"}});
  EXPECT_NE(exchange(get("/loop?a")).find("Location: /loop?a\r\n"), std::string::npos);
  EXPECT_NE(exchange(get("/moved")).find("Location: /e\r\n"), std::string::npos);
}

TEST_F(TestServerTest, VersionAndSizeFaultsTellAnotherStory) {
  auto& server = start();
  std::string error;
  ASSERT_TRUE(
      applyScript("generate /v 100 2\n"
                  "rule /v first=1 count=1 head-size=200\n"
                  "rule /v first=3 count=1 version=60:9\n"
                  "rule /v first=4 count=1 unsized-short-body\n",
                  server, error))
      << error;
  std::string response = exchange(get("/v", "", "HEAD"));
  EXPECT_NE(response.find("Content-Length: 200\r\n"), std::string::npos);
  EXPECT_EQ(bodyOf(exchange(get("/v"))), expectedPattern(2, 0, 100));  // GETs keep the truth
  response = exchange(get("/v", "Range: bytes=10-19\r\n"));
  EXPECT_NE(response.find("Content-Range: bytes 10-19/60\r\n"), std::string::npos);
  EXPECT_NE(response.find("ETag: \"gen-9-60\""), std::string::npos);
  EXPECT_EQ(bodyOf(response), expectedPattern(9, 10, 10));
  response = exchange(get("/v", "Range: bytes=10-19\r\n"));
  EXPECT_EQ(response.rfind("HTTP/1.1 200", 0), 0u);
  EXPECT_EQ(response.find("Content-Length"), std::string::npos);
  EXPECT_EQ(bodyOf(response), expectedPattern(2, 0, 50));

  // Longer than asked: a range with stray bytes its Content-Length counts, a whole body unsized.
  ASSERT_TRUE(applyScript("rule /v first=5 count=2 long-body=3\n", server, error)) << error;
  response = exchange(get("/v", "Range: bytes=10-19\r\n"));
  EXPECT_NE(response.find("Content-Range: bytes 10-19/100\r\n"), std::string::npos);
  EXPECT_NE(response.find("Content-Length: 13\r\n"), std::string::npos);
  EXPECT_EQ(bodyOf(response), expectedPattern(2, 10, 10) + "###");
  response = exchange(get("/v"));
  EXPECT_EQ(response.rfind("HTTP/1.1 200", 0), 0u);
  EXPECT_EQ(response.find("Content-Length"), std::string::npos);
  EXPECT_EQ(bodyOf(response), expectedPattern(2, 0, 100) + "###");
}

TEST_F(TestServerTest, ProxyRequestsNeedTheConfiguredCredentials) {
  settings_.proxyCredentials = "alice:secret";
  auto& server = start();
  server.addBody("/p", "proxied");
  const std::string target = "http://origin.test:81/p";
  std::string response = exchange(get(target));
  EXPECT_EQ(response.rfind("HTTP/1.1 407", 0), 0u);
  EXPECT_NE(response.find("Proxy-Authenticate: Basic"), std::string::npos);
  response = exchange(get(target, "Proxy-Authorization: Basic YWxpY2U6c2VjcmV0\r\n"));
  EXPECT_EQ(bodyOf(response), "proxied");
  const auto log = server.requestsFor("/p");
  ASSERT_EQ(log.size(), 2u);
  EXPECT_TRUE(log[1].request.absoluteForm);
  EXPECT_EQ(bodyOf(exchange(get("/p"))), "proxied");  // direct requests need nothing
}

TEST_F(TestServerTest, StopsByItselfAfterItsLifetime) {
  settings_.lifetime = 200ms;
  auto& server = start();
  std::this_thread::sleep_for(600ms);
  RawClient client(server.port());
  client.send(get("/x"));
  EXPECT_EQ(client.readAll(300ms), "");
}

TEST_F(TestServerTest, ScriptsSetUpContentAndRules) {
  auto& server = start();
  std::string error;
  ASSERT_TRUE(
      applyScript("# comment\n"
                  "generate /g 64 5\n"
                  "body /t some text here\n"
                  "rule /g first=2 count=1 status=429 retry-after=3\n",
                  server, error))
      << error;
  EXPECT_EQ(bodyOf(exchange(get("/t"))), "some text here");
  EXPECT_EQ(bodyOf(exchange(get("/g"))), expectedPattern(5, 0, 64));
  EXPECT_NE(exchange(get("/g")).find("Retry-After: 3\r\n"), std::string::npos);
  EXPECT_FALSE(applyScript("generate /g 64\nrule /g nonsense\n", server, error));
  EXPECT_EQ(error, "line 2: cannot use \"rule /g nonsense\"");
}

}  // namespace
}  // namespace testserver
