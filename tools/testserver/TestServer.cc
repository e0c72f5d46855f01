#include "tools/testserver/TestServer.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "tools/testserver/BodyPattern.h"
#include "tools/testserver/Gzip.h"

namespace testserver {
namespace {

constexpr size_t kMaxHeadBytes = 64 * 1024;
constexpr uint64_t kMaxBodyBytes = 16 << 20;  // of a request
constexpr size_t kChunkBytes = 256 * 1024;
constexpr int kPollSliceMs = 50;

const char* reasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 206:
      return "Partial Content";
    case 302:
      return "Found";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 407:
      return "Proxy Authentication Required";
    case 408:
      return "Request Timeout";
    case 416:
      return "Range Not Satisfiable";
    case 429:
      return "Too Many Requests";
    case 503:
      return "Service Unavailable";
    case 504:
      return "Gateway Timeout";
    default:
      return "Status";
  }
}

std::string base64(std::string_view in) {
  static constexpr char kTable[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < in.size(); i += 3) {
    uint32_t word = static_cast<unsigned char>(in[i]) << 16;
    if (i + 1 < in.size()) word |= static_cast<unsigned char>(in[i + 1]) << 8;
    if (i + 2 < in.size()) word |= static_cast<unsigned char>(in[i + 2]);
    out += kTable[(word >> 18) & 63];
    out += kTable[(word >> 12) & 63];
    out += i + 1 < in.size() ? kTable[(word >> 6) & 63] : '=';
    out += i + 2 < in.size() ? kTable[word & 63] : '=';
  }
  return out;
}

// A request line starts with a method in capitals; anything else (a TLS handshake, say) is
// answered at once instead of waiting for a head that never comes.
bool notHttp(const std::string& received) {
  return !received.empty() && (received.front() < 'A' || received.front() > 'Z');
}

bool hasUnsafePathPart(const std::string& path) {
  return path.find("/../") != std::string::npos || path.ends_with("/..") ||
         path.find('\0') != std::string::npos;
}

std::string generatedEtag(uint64_t seed, uint64_t size) {
  return "gen-" + std::to_string(seed) + "-" + std::to_string(size);
}

}  // namespace

// What a path serves: a file under the root, fixed text or a generated body.
struct TestServer::Resource {
  enum class Kind { File, Text, Generated } kind = Kind::Text;
  std::string filePath;
  std::string text;
  uint64_t size = 0;
  uint64_t seed = 0;
  std::string etag;
  bool gzip = false;
  std::vector<std::pair<std::string, std::string>> extraHeaders;
};

// One accepted connection, plain or TLS. Only its own thread reads and writes it.
struct TestServer::Connection {
  int fd = -1;
  SSL* tls = nullptr;
  uint64_t id = 0;
  std::thread thread;
  std::atomic<bool> done{false};

  ssize_t receive(char* buffer, size_t size) {
    if (tls != nullptr) return SSL_read(tls, buffer, static_cast<int>(size));
    ssize_t received;
    do {
      received = ::recv(fd, buffer, size, 0);
    } while (received < 0 && errno == EINTR);
    return received;
  }

  bool sendAll(const char* data, size_t length) {
    while (length > 0) {
      ssize_t sent;
      if (tls != nullptr) {
        sent = SSL_write(tls, data, static_cast<int>(std::min<size_t>(length, INT32_MAX)));
      } else {
        sent = ::send(fd, data, length, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
      }
      if (sent <= 0) return false;
      data += sent;
      length -= static_cast<size_t>(sent);
    }
    return true;
  }
};

// Answers one request on one connection.
class TestServer::Responder {
 public:
  Responder(TestServer& server, Connection& connection, const HttpRequest& request, unsigned number)
      : server_(server), connection_(connection), request_(request), number_(number) {}

  // False when the connection must close afterwards.
  bool respond() {
    if (request_.absoluteForm && !proxyCredentialsAccepted()) {
      return sendStatus(407, -1, {{"Proxy-Authenticate", "Basic realm=\"wend-test-proxy\""}});
    }
    Fault storage;
    const Fault* fault = server_.matchRule(request_.path, number_, storage);
    if (fault != nullptr) {
      switch (fault->kind) {
        case FaultKind::Status:
          return sendStatus(fault->status, fault->retryAfterSeconds, {});
        case FaultKind::Redirect:
          return sendStatus(302, -1, {{"Location", fault->location}});
        case FaultKind::RedirectLoop:
          return sendStatus(302, -1, {{"Location", request_.target}});
        case FaultKind::StallBeforeReply:
          server_.waitForStallEnd(connection_.fd);
          return false;
        case FaultKind::CloseBeforeReply:
          return false;
        default:
          fault_ = fault;
          break;
      }
    }
    resource_ = is(FaultKind::OtherVersion) ? generated(fault_->bytes, fault_->seed)
                                            : server_.findResource(request_.path);
    if (resource_ == nullptr) return sendStatus(404, -1, {});
    const bool answered = request_.method == "GET" || request_.method == "HEAD" ||
                          (request_.method == "POST" && server_.settings_.answerPost);
    if (!answered) return sendStatus(405, -1, {});
    return sendResource();
  }

 private:
  bool is(FaultKind kind) const { return fault_ != nullptr && fault_->kind == kind; }

  static std::shared_ptr<const Resource> generated(uint64_t size, uint64_t seed) {
    auto resource = std::make_shared<Resource>();
    resource->kind = Resource::Kind::Generated;
    resource->size = size;
    resource->seed = seed;
    resource->etag = generatedEtag(seed, size);
    return resource;
  }

  bool proxyCredentialsAccepted() const {
    const std::string credentials = server_.proxyCredentials();
    return credentials.empty() ||
           request_.header("Proxy-Authorization") == "Basic " + base64(credentials);
  }

  bool sendStatus(int status, int retryAfter,
                  std::vector<std::pair<std::string, std::string>> headers) {
    if (status == 401) headers.emplace_back("WWW-Authenticate", "Basic realm=\"wend-test\"");
    if (status == 407 && headers.empty()) {
      headers.emplace_back("Proxy-Authenticate", "Basic realm=\"wend-test-proxy\"");
    }
    if (retryAfter >= 0) headers.emplace_back("Retry-After", std::to_string(retryAfter));
    const std::string body = std::to_string(status) + " " + reasonPhrase(status) + "\n";
    const bool keepAlive = request_.keepAlive();
    std::string head = statusLine(status) + "Content-Type: text/plain\r\nContent-Length: " +
                       std::to_string(body.size()) + "\r\n";
    for (const auto& [name, value] : headers) head += name + ": " + value + "\r\n";
    if (!keepAlive) head += "Connection: close\r\n";
    head += "\r\n";
    if (request_.method != "HEAD") head += body;
    return connection_.sendAll(head.data(), head.size()) && keepAlive;
  }

  static std::string statusLine(int status) {
    return "HTTP/1.1 " + std::to_string(status) + " " + reasonPhrase(status) + "\r\n";
  }

  bool wantsGzip() const {
    return resource_->gzip && request_.header("Accept-Encoding").find("gzip") != std::string::npos;
  }

  bool sendResource() {
    if (wantsGzip()) {
      encoded_ = gzipCompress(readAll());
      size_ = encoded_.size();
    } else {
      size_ = resource_->size;
    }
    ByteRange range{0, size_ == 0 ? 0 : size_ - 1};
    const bool get = request_.method == "GET";
    if (is(FaultKind::UnsizedShortBody) && get) return sendUnsized(size_ / 2, 0);
    int status = 200;
    // An If-Range that names another version asks for the whole current one.
    const bool sameVersion =
        !request_.hasHeader("If-Range") || request_.header("If-Range") == etag();
    if (request_.hasHeader("Range") && sameVersion && encoded_.empty() &&
        !is(FaultKind::IgnoreRange)) {
      switch (parseRange(request_.header("Range"), size_, range)) {
        case RangeRequest::None:
          range = {0, size_ == 0 ? 0 : size_ - 1};
          break;
        case RangeRequest::Satisfiable:
          status = 206;
          break;
        case RangeRequest::Unsatisfiable:
          return sendStatus(416, -1, {{"Content-Range", "bytes */" + std::to_string(size_)}});
      }
    }
    if (status == 206 && is(FaultKind::WrongContentRange)) range = neighbour(range);
    const uint64_t extra = is(FaultKind::LongBody) && get ? fault_->bytes : 0;
    if (extra != 0 && status != 206) return sendUnsized(size_, extra);
    const uint64_t length = size_ == 0 ? 0 : range.length();
    if (!sendHead(status, range, length + extra)) return false;
    if (request_.method == "HEAD") return request_.keepAlive();
    return sendBody(range.first, length) && sendStray(extra) && request_.keepAlive();
  }

  // 200 without Content-Length: the first `count` bytes of the body and `extra` stray bytes, then
  // the connection closes (false).
  bool sendUnsized(uint64_t count, uint64_t extra) {
    const std::string head = statusLine(200) + "ETag: " + etag() + "\r\nConnection: close\r\n\r\n";
    if (connection_.sendAll(head.data(), head.size()) && sendBytes(0, count)) sendStray(extra);
    return false;
  }

  // Bytes that belong to no version of any body.
  bool sendStray(uint64_t count) {
    const std::string stray(static_cast<size_t>(std::min<uint64_t>(count, kChunkBytes)), '#');
    for (uint64_t left = count; left > 0;) {
      const size_t part = static_cast<size_t>(std::min<uint64_t>(left, stray.size()));
      if (!connection_.sendAll(stray.data(), part)) return false;
      left -= part;
    }
    return true;
  }

  ByteRange neighbour(ByteRange range) const {
    if (range.last + 1 < size_) return {range.first + 1, range.last + 1};
    if (range.first > 0) return {range.first - 1, range.last - 1};
    return range;
  }

  bool sendHead(int status, ByteRange range, uint64_t length) {
    std::string head = statusLine(status);
    head += "Content-Type: application/octet-stream\r\n";
    const bool headLies = is(FaultKind::HeadSize) && request_.method == "HEAD";
    head += "Content-Length: " + std::to_string(headLies ? fault_->bytes : length) + "\r\n";
    head += "Accept-Ranges: bytes\r\n";
    head += "ETag: " + etag() + "\r\n";
    if (status == 206) {
      head += "Content-Range: bytes " + std::to_string(range.first) + "-" +
              std::to_string(range.last) + "/" + std::to_string(size_) + "\r\n";
    }
    if (!encoded_.empty()) head += "Content-Encoding: gzip\r\n";
    for (const auto& [name, value] : resource_->extraHeaders) head += name + ": " + value + "\r\n";
    if (!request_.keepAlive()) head += "Connection: close\r\n";
    head += "\r\n";
    return connection_.sendAll(head.data(), head.size());
  }

  std::string etag() const {
    if (is(FaultKind::ChangedEtag)) return "\"" + resource_->etag + "-changed\"";
    return "\"" + resource_->etag + "\"";
  }

  // False when the connection must close: a fault cut the body, or the peer went away.
  bool sendBody(uint64_t offset, uint64_t length) {
    uint64_t limit = length;
    if (is(FaultKind::ShortBody)) limit = length / 2;
    if (is(FaultKind::ResetAfterBytes) || is(FaultKind::StallAfterBytes)) {
      limit = std::min(length, fault_->bytes);
    }
    if (!sendBytes(offset, limit)) return false;
    if (is(FaultKind::ResetAfterBytes)) {
      const linger reset{1, 0};
      setsockopt(connection_.fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
      return false;  // closing now sends the reset
    }
    if (is(FaultKind::StallAfterBytes)) server_.waitForStallEnd(connection_.fd);
    return limit == length;
  }

  bool sendBytes(uint64_t offset, uint64_t length) {
    const uint64_t rate = is(FaultKind::SlowBody) ? std::max<uint64_t>(fault_->bytes, 1) : 0;
    const size_t chunk =
        rate == 0 ? kChunkBytes : std::max<uint64_t>(rate * kPollSliceMs / 1000, 1);
    std::vector<unsigned char> buffer(std::min<uint64_t>(chunk, std::max<uint64_t>(length, 1)));
    int fileFd = -1;
    if (encoded_.empty() && resource_->kind == Resource::Kind::File) {
      fileFd = ::open(resource_->filePath.c_str(), O_RDONLY | O_CLOEXEC);
      if (fileFd < 0) return false;
    }
    bool ok = true;
    while (ok && length > 0) {
      const size_t count = static_cast<size_t>(std::min<uint64_t>(buffer.size(), length));
      ok = read(fileFd, offset, buffer.data(), count);
      if (is(FaultKind::CorruptBody)) {
        for (size_t i = 0; i < count; ++i) buffer[i] = static_cast<unsigned char>(~buffer[i]);
      }
      ok = ok && connection_.sendAll(reinterpret_cast<const char*>(buffer.data()), count);
      offset += count;
      length -= count;
      if (ok && rate != 0 && length > 0) ok = !server_.waitForHangUp(connection_.fd, kPollSliceMs);
    }
    if (fileFd >= 0) ::close(fileFd);
    return ok;
  }

  bool read(int fileFd, uint64_t offset, unsigned char* out, size_t count) const {
    if (!encoded_.empty()) {
      std::memcpy(out, encoded_.data() + offset, count);
      return true;
    }
    switch (resource_->kind) {
      case Resource::Kind::Text:
        std::memcpy(out, resource_->text.data() + offset, count);
        return true;
      case Resource::Kind::Generated:
        fillPattern(resource_->seed, offset, out, count);
        return true;
      case Resource::Kind::File:
        return ::pread(fileFd, out, count, static_cast<off_t>(offset)) ==
               static_cast<ssize_t>(count);
    }
    return false;
  }

  std::string readAll() const {
    std::string all(resource_->size, '\0');
    int fileFd = -1;
    if (resource_->kind == Resource::Kind::File) {
      fileFd = ::open(resource_->filePath.c_str(), O_RDONLY | O_CLOEXEC);
    }
    read(fileFd, 0, reinterpret_cast<unsigned char*>(all.data()), all.size());
    if (fileFd >= 0) ::close(fileFd);
    return all;
  }

  TestServer& server_;
  Connection& connection_;
  const HttpRequest& request_;
  const unsigned number_;
  const Fault* fault_ = nullptr;
  std::shared_ptr<const Resource> resource_;
  std::string encoded_;  // the gzip body when one is sent
  uint64_t size_ = 0;    // of the representation sent
};

TestServer::TestServer(TestServerSettings settings)
    : settings_(std::move(settings)), proxyCredentials_(settings_.proxyCredentials) {}

TestServer::~TestServer() {
  stop();
  if (tlsContext_ != nullptr) SSL_CTX_free(tlsContext_);
}

bool TestServer::start() {
  if (!settings_.tlsCertificateFile.empty() && !setUpTls()) return false;
  if (!listener_.open(128)) return false;
  acceptThread_ = std::thread([this] { acceptLoop(); });
  return true;
}

void TestServer::stop() {
  listener_.wake();
  if (acceptThread_.joinable()) acceptThread_.join();
  shutdownConnections();
  std::vector<std::unique_ptr<Connection>> connections;
  {
    std::lock_guard lock(mutex_);
    connections.swap(connections_);
  }
  for (auto& connection : connections) connection->thread.join();
  listener_.close();
}

bool TestServer::setUpTls() {
  tlsContext_ = SSL_CTX_new(TLS_server_method());
  if (tlsContext_ == nullptr) return false;
  if (settings_.tlsMaxVersion != 0) {
    SSL_CTX_set_security_level(tlsContext_, 0);  // old protocol versions need it
    SSL_CTX_set_min_proto_version(tlsContext_, TLS1_VERSION);
    SSL_CTX_set_max_proto_version(tlsContext_, settings_.tlsMaxVersion);
  }
  return SSL_CTX_use_certificate_chain_file(tlsContext_, settings_.tlsCertificateFile.c_str()) ==
             1 &&
         SSL_CTX_use_PrivateKey_file(tlsContext_, settings_.tlsKeyFile.c_str(), SSL_FILETYPE_PEM) ==
             1;
}

std::string TestServer::url(std::string_view path) const {
  const char* scheme = settings_.tlsCertificateFile.empty() ? "http" : "https";
  return std::string(scheme) + "://127.0.0.1:" + std::to_string(listener_.port()) +
         std::string(path);
}

void TestServer::acceptLoop() {
  const auto deadline = std::chrono::steady_clock::now() + settings_.lifetime;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    const LoopbackListener::Event event =
        listener_.wait(static_cast<int>(std::min<int64_t>(left.count(), 1000)));
    if (event == LoopbackListener::Event::kFailed || event == LoopbackListener::Event::kWoken) {
      break;
    }
    reapFinishedConnections();
    if (event != LoopbackListener::Event::kConnection) continue;
    const int fd = listener_.accept();
    if (fd < 0) continue;
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto connection = std::make_unique<Connection>();
    connection->fd = fd;
    Connection& ref = *connection;
    std::lock_guard lock(mutex_);
    if (stopping_) {
      ::close(fd);
      break;
    }
    connection->id = ++connectionsAccepted_;
    connection->thread = std::thread([this, &ref] { serveConnection(ref); });
    connections_.push_back(std::move(connection));
  }
  shutdownConnections();
}

void TestServer::serveConnection(Connection& connection) {
  // A write to a peer that hung up must fail with EPIPE, not end the test process: OpenSSL writes
  // without MSG_NOSIGNAL. Blocked here, the signal stays pending on this thread and dies with it.
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
  if (tlsContext_ != nullptr) {
    connection.tls = SSL_new(tlsContext_);
    if (connection.tls == nullptr || SSL_set_fd(connection.tls, connection.fd) != 1 ||
        SSL_accept(connection.tls) != 1) {
      closeConnection(connection);
      return;
    }
  }
  std::string buffer;
  char chunk[16 * 1024];
  bool open = true;
  while (open) {
    size_t headEnd;
    while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos && !notHttp(buffer)) {
      const ssize_t received = connection.receive(chunk, sizeof chunk);
      if (received <= 0 || buffer.size() > kMaxHeadBytes) {
        closeConnection(connection);
        return;
      }
      buffer.append(chunk, static_cast<size_t>(received));
    }
    HttpRequest request;
    const bool parsed = headEnd != std::string::npos &&
                        parseRequestHead(std::string_view(buffer).substr(0, headEnd), request);
    buffer.erase(0, headEnd + 4);
    if (!parsed) {
      static constexpr char kBad[] =
          "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
      connection.sendAll(kBad, sizeof kBad - 1);
      break;
    }
    if (!receiveBody(connection, buffer, request)) break;
    const unsigned number = logRequest(request, connection.id);
    open = Responder(*this, connection, request, number).respond();
  }
  closeConnection(connection);
}

bool TestServer::receiveBody(Connection& connection, std::string& buffer, HttpRequest& request) {
  const uint64_t length = std::strtoull(request.header("Content-Length").c_str(), nullptr, 10);
  if (length > kMaxBodyBytes) return false;
  char chunk[16 * 1024];
  while (buffer.size() < length) {
    const ssize_t received = connection.receive(chunk, sizeof chunk);
    if (received <= 0) return false;
    buffer.append(chunk, static_cast<size_t>(received));
  }
  request.body = buffer.substr(0, length);
  buffer.erase(0, length);
  return true;
}

void TestServer::closeConnection(Connection& connection) {
  if (connection.tls != nullptr) SSL_free(connection.tls);
  connection.tls = nullptr;
  std::lock_guard lock(mutex_);
  ::close(connection.fd);
  connection.fd = -1;
  connection.done = true;
}

void TestServer::reapFinishedConnections() {
  std::vector<std::unique_ptr<Connection>> finished;
  {
    std::lock_guard lock(mutex_);
    auto split = std::stable_partition(connections_.begin(), connections_.end(),
                                       [](const auto& c) { return !c->done.load(); });
    std::move(split, connections_.end(), std::back_inserter(finished));
    connections_.erase(split, connections_.end());
  }
  for (auto& connection : finished) connection->thread.join();
}

void TestServer::shutdownConnections() {
  std::lock_guard lock(mutex_);
  stopping_ = true;
  for (auto& connection : connections_) {
    if (connection->fd >= 0) ::shutdown(connection->fd, SHUT_RDWR);
  }
}

bool TestServer::waitForHangUp(int fd, int milliseconds) {
  pollfd watch{fd, POLLRDHUP, 0};
  const int ready = ::poll(&watch, 1, milliseconds);
  if (ready != 0) return true;
  std::lock_guard lock(mutex_);
  return stopping_;
}

void TestServer::waitForStallEnd(int fd) {
  const auto end = std::chrono::steady_clock::now() + settings_.stallLimit;
  while (std::chrono::steady_clock::now() < end) {
    if (waitForHangUp(fd, kPollSliceMs)) return;
  }
}

std::shared_ptr<const TestServer::Resource> TestServer::findResource(
    const std::string& path) const {
  {
    std::lock_guard lock(mutex_);
    const auto found = resources_.find(path);
    if (found != resources_.end()) return found->second;
  }
  if (settings_.root.empty() || hasUnsafePathPart(path)) return nullptr;
  auto resource = std::make_shared<Resource>();
  resource->kind = Resource::Kind::File;
  resource->filePath = settings_.root + path;
  struct stat info {};
  if (::stat(resource->filePath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
  resource->size = static_cast<uint64_t>(info.st_size);
  resource->etag = std::to_string(info.st_size) + "-" + std::to_string(info.st_mtim.tv_sec) + "." +
                   std::to_string(info.st_mtim.tv_nsec);
  std::lock_guard lock(mutex_);
  resource->gzip = gzipPaths_.contains(path);
  return resource;
}

unsigned TestServer::logRequest(const HttpRequest& request, uint64_t connectionId) {
  std::lock_guard lock(mutex_);
  const unsigned number = ++pathCounts_[request.path];
  log_.push_back({request, number, connectionId});
  return number;
}

const Fault* TestServer::matchRule(const std::string& path, unsigned number, Fault& storage) const {
  std::lock_guard lock(mutex_);
  for (const Rule& rule : rules_) {
    if (rule.path != path || number < rule.firstRequest) continue;
    if (rule.requestCount != 0 && number - rule.firstRequest >= rule.requestCount) continue;
    storage = rule.fault;
    return &storage;
  }
  return nullptr;
}

std::string TestServer::proxyCredentials() const {
  std::lock_guard lock(mutex_);
  return proxyCredentials_;
}

void TestServer::addBody(const std::string& path, std::string body,
                         std::vector<std::pair<std::string, std::string>> extraHeaders) {
  auto resource = std::make_shared<Resource>();
  resource->kind = Resource::Kind::Text;
  resource->size = body.size();
  resource->etag = "text-" + std::to_string(std::hash<std::string>()(body));
  resource->text = std::move(body);
  resource->extraHeaders = std::move(extraHeaders);
  std::lock_guard lock(mutex_);
  resource->gzip = gzipPaths_.contains(path);
  resources_[path] = std::move(resource);
}

void TestServer::addGenerated(const std::string& path, uint64_t size, uint64_t seed) {
  auto resource = std::make_shared<Resource>();
  resource->kind = Resource::Kind::Generated;
  resource->size = size;
  resource->seed = seed;
  resource->etag = generatedEtag(seed, size);
  std::lock_guard lock(mutex_);
  resource->gzip = gzipPaths_.contains(path);
  resources_[path] = std::move(resource);
}

void TestServer::enableGzip(const std::string& path) {
  std::lock_guard lock(mutex_);
  gzipPaths_.insert(path);
  const auto found = resources_.find(path);
  if (found == resources_.end()) return;
  auto copy = std::make_shared<Resource>(*found->second);
  copy->gzip = true;
  found->second = std::move(copy);
}

void TestServer::setProxyCredentials(std::string userColonPassword) {
  std::lock_guard lock(mutex_);
  proxyCredentials_ = std::move(userColonPassword);
}

void TestServer::addRule(Rule rule) {
  std::lock_guard lock(mutex_);
  rules_.push_back(std::move(rule));
}

void TestServer::clearRules() {
  std::lock_guard lock(mutex_);
  rules_.clear();
}

std::vector<LoggedRequest> TestServer::requests() const {
  std::lock_guard lock(mutex_);
  return log_;
}

std::vector<LoggedRequest> TestServer::requestsFor(std::string_view path) const {
  std::lock_guard lock(mutex_);
  std::vector<LoggedRequest> matching;
  for (const auto& entry : log_) {
    if (entry.path() == path) matching.push_back(entry);
  }
  return matching;
}

void TestServer::clearLog() {
  std::lock_guard lock(mutex_);
  log_.clear();
  pathCounts_.clear();
}

uint64_t TestServer::connectionsAccepted() const {
  std::lock_guard lock(mutex_);
  return connectionsAccepted_;
}

}  // namespace testserver
