#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "download/engine/DLETypes.h"
#include "download/engine/DownloadPreference.h"
#include "platform/network/ProxyManager.h"

namespace gde {

using platform::EnvironmentLookup;
using platform::processEnvironment;
using platform::ProxyManager;

// Every wait and limit of the engine's HTTP requests, with the product's values as defaults.
struct HttpSettings {
  using Millis = std::chrono::milliseconds;

  Millis connectTimeout{60000};    // connecting, TLS handshake included
  Millis headTimeout{60000};       // a whole HEAD request
  Millis readWait{10000};          // one read waits this long for data, then reports none yet
  Millis rangeProbeTimeout{6000};  // the two-byte probe waits this long for its first byte
  Millis rangeProbeRetryWait{100};
  Millis rangeProbeWindow{121000};  // no probe retry starts later than this after the first
  unsigned rangeProbeAttempts = 5;
  long maxRedirects = 16;
};

// The version of the file a download was planned with: its size and validators from the HEAD
// answer. Every ranged answer must belong to it.
struct FilePlan {
  uint64_t size = 0;
  std::string etag;          // empty: the server sent none
  std::string lastModified;  // empty: the server sent none
  bool known = false;        // false: nothing to check against (a plain single stream)
};

// The HTTP session of one download: its preference, its proxy source and the latest cookie that
// any of its communicators saw. The session outlives its communicators (the download's shared
// state owns both). Any thread may call any operation; the preference is read-only while
// communicators run.
class HttpSession {
 public:
  // The environment gives the proxy variables and WEND_CA_FILE.
  explicit HttpSession(HttpSettings settings = {},
                       EnvironmentLookup environment = processEnvironment);

  // Stores the preference (not owned), clears the cookie and makes a new proxy source. A null
  // preference fails with kDleErrorMisuse "Input preference is null" (retryable).
  bool init(const DownloadPreference* preference, DLEErrorInfo& error);
  // Clears the cookie and makes a new proxy source; the preference stays.
  bool init();

  // The proxy for a request to `url`, or empty for a direct request (also when released).
  std::string proxyFor(const std::string& url) const;
  // The current proxy source; null after release.
  std::shared_ptr<ProxyManager> getProxyManager() const;
  void release();

  // The value of the last "Set-Cookie" header a communicator of this session received.
  std::string cookie() const;
  void setCookie(std::string value);

  // The plan every later answer is checked against; set once the HEAD answered.
  FilePlan plan() const;
  void setPlan(FilePlan plan);

  // WEND_CA_FILE: a CA bundle trusted besides the system's (tests use it); empty when unset.
  const std::string& caFile() const { return caFile_; }
  const DownloadPreference* preference() const { return preference_; }
  const HttpSettings& settings() const { return settings_; }

 private:
  const HttpSettings settings_;
  const EnvironmentLookup environment_;
  const std::string caFile_;
  const DownloadPreference* preference_ = nullptr;  // set before communicators use the session
  mutable std::mutex mutex_;
  std::shared_ptr<ProxyManager> proxyManager_;  // guarded by mutex_
  std::string cookie_;                          // guarded by mutex_
  FilePlan plan_;                               // guarded by mutex_
};

}  // namespace gde
