#include "prefs/FallowLog.h"

#include <mutex>

#include "foundation/logging/LoggingCore.h"

namespace prefs {

FallowLog::FallowLog() : sink_(kCategory), logger_(kCategory, nullptr, nullptr, "Fallow", "OPM") {
  registered_ =
      sink_.setLogFile(kFileName, nullptr) && pando::LoggingCore::instance().addTarget(&sink_);
}

FallowLog::~FallowLog() {
  if (registered_) pando::LoggingCore::instance().removeTarget(&sink_);
}

std::shared_ptr<FallowLog> FallowLog::acquire() {
  // Never destroyed, so a reference freed during the process's exit still finds them.
  static std::mutex* const mutex = new std::mutex;
  static std::weak_ptr<FallowLog>* const current = new std::weak_ptr<FallowLog>;  // under mutex
  std::lock_guard lock(*mutex);
  std::shared_ptr<FallowLog> log = current->lock();
  if (!log) {
    log.reset(new FallowLog());
    *current = log;
  }
  return log;
}

}  // namespace prefs
