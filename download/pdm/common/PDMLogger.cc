#include "download/pdm/common/PDMLogger.h"

#include <cstdarg>

namespace orvel::PackageDownloadManager {

PDMLogger& PDMLogger::instance() {
  static PDMLogger holder;
  return holder;
}

void PDMLogger::setLogger(pando::AbstractLogger* logger, const std::string& name) {
  name_ = name;
  logger_.store(logger);
}

void pdmLog(int level, const char* tag, const char* format, ...) {
  pando::AbstractLogger* logger = PDMLogger::instance().getLogger();
  if (logger == nullptr) return;
  va_list args;
  va_start(args, format);
  logger->vlog(level, tag, "", format, args);
  va_end(args);
}

}  // namespace orvel::PackageDownloadManager
