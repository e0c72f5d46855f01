#include "tools/testserver/RawReplyServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace testserver {
namespace {

constexpr int kReadWaitMs = 5000;

// The announced body length of a head, 0 without one.
size_t contentLength(const std::string& head) {
  size_t line = head.find("\r\n");
  while (line != std::string::npos && line + 2 < head.size()) {
    const size_t next = head.find("\r\n", line + 2);
    const std::string field = head.substr(line + 2, next - line - 2);
    if (strncasecmp(field.c_str(), "Content-Length:", 15) == 0) {
      return std::strtoul(field.c_str() + 15, nullptr, 10);
    }
    line = next;
  }
  return 0;
}

}  // namespace

RawReplyServer::RawReplyServer(std::vector<std::string> replies) : replies_(std::move(replies)) {}

RawReplyServer::~RawReplyServer() {
  if (wakeFd_ >= 0) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
  }
  if (thread_.joinable()) thread_.join();
  if (listenFd_ >= 0) ::close(listenFd_);
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool RawReplyServer::start() {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (listenFd_ < 0 || wakeFd_ < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd_, 16) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return false;
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { serve(); });
  return true;
}

std::string RawReplyServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> RawReplyServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void RawReplyServer::serve() {
  for (size_t served = 0;; ++served) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 || fds[1].revents != 0) return;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::string request = readRequest(fd);
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(std::move(request));
    }
    const std::string& reply =
        replies_.empty() ? std::string() : replies_[std::min(served, replies_.size() - 1)];
    size_t sent = 0;
    while (sent < reply.size()) {
      const ssize_t count = ::send(fd, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
      if (count <= 0) break;
      sent += static_cast<size_t>(count);
    }
    ::close(fd);
  }
}

std::string RawReplyServer::readRequest(int fd) const {
  std::string received;
  size_t headEnd = std::string::npos;
  char chunk[4096];
  for (;;) {
    if (headEnd == std::string::npos) headEnd = received.find("\r\n\r\n");
    if (headEnd != std::string::npos &&
        received.size() >= headEnd + 4 + contentLength(received.substr(0, headEnd + 2))) {
      return received;
    }
    pollfd watch{fd, POLLIN, 0};
    if (::poll(&watch, 1, kReadWaitMs) <= 0) return received;
    const ssize_t count = ::recv(fd, chunk, sizeof chunk, 0);
    if (count <= 0) return received;
    received.append(chunk, static_cast<size_t>(count));
  }
}

}  // namespace testserver
