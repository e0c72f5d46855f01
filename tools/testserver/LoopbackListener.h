#pragma once

#include <cstdint>

// A listening TCP socket on 127.0.0.1 with an ephemeral port, plus a wake-up event so that the
// thread waiting in wait() can be told to stop. Owns both descriptors and closes them at close()
// or destruction. Threads: one thread waits and accepts; wake() may be called from any other.
namespace testserver {

class LoopbackListener {
 public:
  enum class Event {
    kConnection,  // a client is waiting: accept() takes it
    kIdle,        // the wait ran out, or a signal cut it short
    kWoken,       // wake() was called
    kFailed,      // the socket can no longer be watched
  };

  LoopbackListener() = default;
  ~LoopbackListener() { close(); }
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  // Binds and listens with room for `backlog` pending clients. False when a step fails.
  bool open(int backlog);
  uint16_t port() const { return port_; }
  // Waits at most `milliseconds` (-1: without limit) for a client or a wake-up.
  Event wait(int milliseconds);
  // The next client's socket (close-on-exec), or -1.
  int accept();
  // Ends the wait of the accepting thread, now or at its next wait.
  void wake();
  void close();

 private:
  int listenFd_ = -1;
  int wakeFd_ = -1;
  uint16_t port_ = 0;
};

}  // namespace testserver
