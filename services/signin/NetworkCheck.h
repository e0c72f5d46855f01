#pragma once

#include <string>

#include "foundation/threads/ThreadHandle.h"

// The installer's network check: one GET of the sign-in service's social-provider list, run at
// once or on a thread of its own. Any reply, whatever its status, shows the network is there (0);
// a proxy that the credentials do not satisfy gives 2; anything else (refused, unresolved, timed
// out) 1.
//
// One owner thread starts and waits; the check's thread reads only what it was given. The
// destructor waits for a check still running.
class NetworkCheck {
 public:
  enum Result : int { kReachable = 0, kUnavailable = 1, kProxyCredentialsNeeded = 2 };

  struct Request {
    std::string url;
    std::string proxyUserName;
    std::string proxyPassword;
  };

  NetworkCheck() = default;
  ~NetworkCheck();
  NetworkCheck(const NetworkCheck&) = delete;
  NetworkCheck& operator=(const NetworkCheck&) = delete;

  // Starts a check, after waiting for one still running. A thread that cannot start runs the
  // check at once.
  void start(Request request, bool asynchronous);
  // The result of the last check; kUnavailable when none was started.
  int wait();

  static int run(const Request& request);

 private:
  static void* threadMain(void* self);

  Request request_;
  int result_ = kUnavailable;  // written by the check's thread before it ends, read after join
  pando::ThreadHandle thread_;
};
