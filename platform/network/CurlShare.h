#pragma once

#include <curl/curl.h>

namespace platform {

// The process-wide libcurl state: libcurl's global initialisation and one share handle through
// which every HTTP transfer of the process shares cookies, resolved names and TLS sessions. Made on
// first use (thread-safe) and torn down at process exit, after the last transfer.
class CurlShare {
 public:
  // Never null once libcurl initialised; null when it could not (then no transfer can start).
  static CURLSH* handle();
};

}  // namespace platform
