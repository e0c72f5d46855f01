#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "foundation/logging/AbstractLogger.h"

// The fixed waits and names of the zip extraction, with the product's values as defaults (tests
// pass shorter ones), and the retry loop that folder creation and file opening share.
namespace files {

struct UnzipSettings {
  int attempts = 20;                          // tries of one mkdir or open, first included
  std::chrono::milliseconds retryDelay{100};  // sleep before each further try
  std::string temporaryTemplate = "/tmp/orvzip.temp.XXXXXX";  // mkstemp template, AppleDouble
};

// What a retried call makes, which decides its log lines.
enum class RetryKind { kFolder, kFile };

// Calls `attempt` until it returns true or `settings.attempts` calls have failed. Before each
// further call it logs the retry line of `kind` (kLogTrace, with `path` and the error text of the
// errno that the failed call left) under "UnzipHandler" and sleeps; after the last failure it
// logs the kind's give-up line (kLogWarn). False when every call failed, errno then as the last
// call left it. Runs on the caller's thread.
bool retryWithLog(const UnzipSettings& settings, pando::AbstractLogger* logger, RetryKind kind,
                  const std::string& path, const std::function<bool()>& attempt);

// The error text of errno ("Error <n> <message>").
std::string currentErrorText();

}  // namespace files
