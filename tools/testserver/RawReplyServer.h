#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A loopback server for what the scripted test server cannot say: it answers each connection
// with raw bytes given by the test (a malformed head, nothing at all, odd field spellings) and
// keeps each request exactly as it arrived, head and body, so tests can check the bytes a client
// sent. Connection n gets replies[n], the last one once they run out; then it is closed.
//
// Threads: one serving thread, ended by the destructor. Public operations may be called from any
// thread.
namespace testserver {

class RawReplyServer {
 public:
  explicit RawReplyServer(std::vector<std::string> replies);
  ~RawReplyServer();
  RawReplyServer(const RawReplyServer&) = delete;
  RawReplyServer& operator=(const RawReplyServer&) = delete;

  // False when the socket cannot be bound.
  bool start();
  // "http://127.0.0.1:<port>" followed by `path`.
  std::string url(const std::string& path) const;
  // Every request received so far: the head with its CR LF lines and the body its
  // Content-Length announced.
  std::vector<std::string> requests() const;

 private:
  void serve();
  std::string readRequest(int fd) const;

  const std::vector<std::string> replies_;
  int listenFd_ = -1;
  int wakeFd_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;  // guarded by mutex_
};

}  // namespace testserver
