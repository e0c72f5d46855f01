#pragma once

#include <atomic>
#include <string>

#include "foundation/logging/AbstractLogger.h"

namespace orvel::PackageDownloadManager {

// The process-wide holder of the logger that the client hands to the package download manager.
// Every log line of the manager, its file downloader and its documents goes through pdmLog and is
// dropped while no logger is set. The client keeps the logger alive while any manager runs and
// sets it before starting one; any thread may log.
class PDMLogger {
 public:
  static PDMLogger& instance();
  // Not owned. The name is kept for the client and not used in log lines.
  void setLogger(pando::AbstractLogger* logger, const std::string& name);
  pando::AbstractLogger* getLogger() const { return logger_.load(); }

 private:
  PDMLogger() = default;
  std::atomic<pando::AbstractLogger*> logger_{nullptr};
  std::string name_;  // written by setLogger only
};

inline constexpr const char* kPdmTag = "PackageDownloadManager";

// One record at `level` with `tag` (the logger's trace and info carry the tag as their source).
void pdmLog(int level, const char* tag, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

}  // namespace orvel::PackageDownloadManager
