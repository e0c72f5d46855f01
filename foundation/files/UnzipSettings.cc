#include "foundation/files/UnzipSettings.h"

#include <cerrno>
#include <thread>

#include "foundation/logging/UtilsLog.h"
#include "foundation/text/StringUtils.h"

namespace files {

std::string currentErrorText() {
  std::string text;
  StringUtils::utilGetErrorString(text, errno);
  return text;
}

bool retryWithLog(const UnzipSettings& settings, pando::AbstractLogger* logger, RetryKind kind,
                  const std::string& path, const std::function<bool()>& attempt) {
  for (int tries = 1;; ++tries) {
    if (attempt()) return true;
    const int error = errno;
    const std::string text = currentErrorText();
    if (tries >= settings.attempts) {
      switch (kind) {
        case RetryKind::kFolder:
          pando::utilsLog(logger, pando::kLogWarn, "UnzipHandler",
                          "Failed to create directory after %d retry attempts: %s with code %s",
                          settings.attempts, path.c_str(), text.c_str());
          break;
        case RetryKind::kFile:
          pando::utilsLog(logger, pando::kLogWarn, "UnzipHandler",
                          "Cannot open file '%s' after all retries for writing: %s", path.c_str(),
                          text.c_str());
          break;
      }
      errno = error;
      return false;
    }
    switch (kind) {
      case RetryKind::kFolder:
        pando::utilsLog(logger, pando::kLogTrace, "UnzipHandler",
                        "Failed to create directory: %s with code %s", path.c_str(), text.c_str());
        break;
      case RetryKind::kFile:
        pando::utilsLog(logger, pando::kLogTrace, "UnzipHandler",
                        "Failed to open file : %s with code %s", path.c_str(), text.c_str());
        break;
    }
    std::this_thread::sleep_for(settings.retryDelay);
  }
}

}  // namespace files
