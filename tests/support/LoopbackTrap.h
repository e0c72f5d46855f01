#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace wendtest {

// A loopback port that counts the connections made to it; nothing is ever served.
class LoopbackTrap {
 public:
  explicit LoopbackTrap(int backlog = 16) {
    socket_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        listen(socket_, backlog) == 0 &&
        getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      port_ = ntohs(address.sin_port);
    }
  }
  ~LoopbackTrap() {
    for (int client : clients_) close(client);
    close(socket_);
  }
  LoopbackTrap(const LoopbackTrap&) = delete;
  LoopbackTrap& operator=(const LoopbackTrap&) = delete;

  std::string url(const std::string& name) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + name;
  }
  int port() const { return port_; }
  // Opens `count` connections that are never accepted. Once they fill the queue (a backlog of 0
  // holds one), new connections are dropped: connecting then never completes.
  void fill(int count) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port_));
    for (int i = 0; i < count; ++i) {
      clients_.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
      connect(clients_.back(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
  }
  bool wasContacted() const {
    const int connection = accept(socket_, nullptr, nullptr);
    if (connection < 0) return false;
    close(connection);
    return true;
  }

 private:
  int socket_ = -1;
  int port_ = 0;
  std::vector<int> clients_;
};

}  // namespace wendtest
