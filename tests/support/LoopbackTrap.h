#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace wendtest {

// A loopback port that counts the connections made to it; nothing is ever served.
class LoopbackTrap {
 public:
  LoopbackTrap() {
    socket_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        listen(socket_, 16) == 0 &&
        getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      port_ = ntohs(address.sin_port);
    }
  }
  ~LoopbackTrap() { close(socket_); }
  LoopbackTrap(const LoopbackTrap&) = delete;
  LoopbackTrap& operator=(const LoopbackTrap&) = delete;

  std::string url(const std::string& name) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + name;
  }
  int port() const { return port_; }
  bool wasContacted() const {
    const int connection = accept(socket_, nullptr, nullptr);
    if (connection < 0) return false;
    close(connection);
    return true;
  }

 private:
  int socket_ = -1;
  int port_ = 0;
};

}  // namespace wendtest
