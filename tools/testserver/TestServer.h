#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "tools/testserver/HttpRequest.h"
#include "tools/testserver/LoopbackListener.h"

struct ssl_ctx_st;

// A small HTTP/1.1 server for tests, on 127.0.0.1 with an ephemeral port, plain or over TLS. It
// serves files under a root folder, generated bodies (BodyPattern) and fixed texts, with HEAD,
// single byte ranges (with If-Range on ETags), ETags, gzip and keep-alive, and answers scripted
// faults per path and request number. Every request is logged, with its body, for the test to
// assert on.
//
// Threads: one accept thread and one thread per connection, all ended by stop() (or the
// destructor) and by the lifetime limit, so a forgotten server never outlives its test for long.
// Every public operation may be called from any thread at any time after construction.
namespace testserver {

enum class FaultKind {
  Status,             // answer `status` (401 and 407 carry a Basic challenge), optional Retry-After
  ResetAfterBytes,    // send the head and `bytes` body bytes, then reset the connection
  StallBeforeReply,   // read the request and send nothing until the stall ends
  CloseBeforeReply,   // read the request and close the connection without a reply (no server)
  StallAfterBytes,    // send the head and `bytes` body bytes, then nothing until the stall ends
  SlowBody,           // send the body at `bytes` bytes per second
  IgnoreRange,        // answer a ranged request with 200 and the whole body
  WrongContentRange,  // answer a ranged request with a neighbouring range, labelled as such
  ShortBody,          // promise the full Content-Length, send half of it, close
  ChangedEtag,        // serve the body under another ETag
  CorruptBody,        // the right head and length, every body byte inverted
  Redirect,           // 302 to `location`
  RedirectLoop,       // 302 to the requested target itself
  UnsizedShortBody,   // a GET, ranged or not: 200 without Content-Length, half the body, close
  OtherVersion,       // serve the generated body of `bytes` bytes from `seed` (and its ETag)
  HeadSize,           // a HEAD answers "Content-Length: `bytes`"; other methods are served
  LongBody,           // a GET gets `bytes` stray bytes after its body: a ranged one in its 206
                      // (Content-Length counts them), any other a 200 without Content-Length
};

struct Fault {
  FaultKind kind = FaultKind::Status;
  int status = 0;
  int retryAfterSeconds = -1;  // Status: a Retry-After header when >= 0
  uint64_t bytes = 0;
  std::string location;
  uint64_t seed = 0;  // OtherVersion
};

// Applies to requests number firstRequest .. firstRequest + requestCount - 1 to `path` (counted
// from 1 per path, every method); requestCount 0 means every request from firstRequest on. The
// first matching rule, in the order added, wins.
struct Rule {
  std::string path;
  unsigned firstRequest = 1;
  unsigned requestCount = 0;
  Fault fault;
};

struct LoggedRequest {
  HttpRequest request;
  unsigned pathRequestNumber = 0;  // 1 for the first request to this path
  uint64_t connectionId = 0;       // requests on one kept-alive connection share it

  const std::string& method() const { return request.method; }
  const std::string& path() const { return request.path; }
  std::string range() const { return request.header("Range"); }
  std::string header(std::string_view name) const { return request.header(name); }
  const std::string& body() const { return request.body; }
};

struct TestServerSettings {
  std::string root;                                 // folder whose files are served; may be empty
  std::chrono::milliseconds lifetime{10 * 60'000};  // the server stops by itself after this
  std::chrono::milliseconds stallLimit{30'000};     // a stall ends after this, at stop or hang-up
  // "user:password": requests in absolute form (to a proxy) without these Basic credentials get
  // 407. Empty: proxy requests are served without credentials.
  std::string proxyCredentials;
  // Both set: the server speaks HTTPS with this PEM certificate (chain) and key.
  std::string tlsCertificateFile;
  std::string tlsKeyFile;
  // An OpenSSL version constant (e.g. TLS1_1_VERSION) to offer nothing newer; 0: the default.
  int tlsMaxVersion = 0;
  // A POST is answered as a GET of its path would be; otherwise with 405.
  bool answerPost = false;
};

class TestServer {
 public:
  explicit TestServer(TestServerSettings settings = {});
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  // Binds 127.0.0.1 on an ephemeral port and starts accepting. False when the socket fails.
  bool start();
  // Closes the listener and every connection (stalls and slow bodies end) and joins all threads.
  void stop();
  uint16_t port() const { return listener_.port(); }
  // "http://127.0.0.1:<port>" (https with TLS) followed by `path`.
  std::string url(std::string_view path) const;

  // Content, replacing what a path had before. Extra headers go out with every answer for it.
  void addBody(const std::string& path, std::string body,
               std::vector<std::pair<std::string, std::string>> extraHeaders = {});
  void addGenerated(const std::string& path, uint64_t size, uint64_t seed);
  // The path is served gzip-encoded (whole body, 200) to requests that accept gzip.
  void enableGzip(const std::string& path);
  void setProxyCredentials(std::string userColonPassword);

  void addRule(Rule rule);
  void clearRules();

  std::vector<LoggedRequest> requests() const;
  std::vector<LoggedRequest> requestsFor(std::string_view path) const;
  void clearLog();
  uint64_t connectionsAccepted() const;

 private:
  struct Resource;
  struct Connection;
  class Responder;
  friend class Responder;

  bool setUpTls();
  void acceptLoop();
  void serveConnection(Connection& connection);
  void reapFinishedConnections();
  // Moves the request's body, all of it, from `buffer` (read further as needed) into `request`.
  // False when the peer hung up first or the body is too large to keep.
  bool receiveBody(Connection& connection, std::string& buffer, HttpRequest& request);
  void closeConnection(Connection& connection);
  void shutdownConnections();
  // True when the peer hung up or the server is stopping; waits at most `milliseconds`.
  bool waitForHangUp(int fd, int milliseconds);
  void waitForStallEnd(int fd);
  std::shared_ptr<const Resource> findResource(const std::string& path) const;
  unsigned logRequest(const HttpRequest& request, uint64_t connectionId);
  const Fault* matchRule(const std::string& path, unsigned number, Fault& storage) const;
  std::string proxyCredentials() const;

  const TestServerSettings settings_;
  LoopbackListener listener_;         // its wake-up ends the accept thread at stop
  ssl_ctx_st* tlsContext_ = nullptr;  // with TLS; read-only while connections run
  std::thread acceptThread_;

  mutable std::mutex mutex_;
  bool stopping_ = false;  // guarded by mutex_
  // A connection's fd is closed, and set to -1, by its own thread under mutex_.
  std::vector<std::unique_ptr<Connection>> connections_;              // guarded by mutex_
  uint64_t connectionsAccepted_ = 0;                                  // guarded by mutex_
  std::map<std::string, std::shared_ptr<const Resource>> resources_;  // guarded by mutex_
  std::vector<Rule> rules_;                                           // guarded by mutex_
  std::vector<LoggedRequest> log_;                                    // guarded by mutex_
  std::map<std::string, unsigned> pathCounts_;                        // guarded by mutex_
  std::set<std::string> gzipPaths_;                                   // guarded by mutex_
  std::string proxyCredentials_;                                      // guarded by mutex_
};

}  // namespace testserver
