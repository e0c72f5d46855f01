#include "download/engine/common/EngineLog.h"

#include <cstdarg>
#include <memory>
#include <mutex>

#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/LogTargetDefault.h"
#include "foundation/logging/LoggingCore.h"
#include "platform/system/ConsoleUser.h"

namespace gde {
namespace {

constexpr const char* kCategory = "GDE";
constexpr const char* kLogFolderChain = "Skyloom/Tarn/OrvelDownload";
constexpr const char* kLogFileName = "DLM.log";

struct LogState {
  std::mutex mutex;
  int references = 0;                               // guarded by mutex
  std::unique_ptr<pando::LogTargetDefault> target;  // registered while set; guarded by mutex
};

// Never destroyed, like the logger: a registered target must not vanish under a late writer.
LogState& state() {
  static LogState* const instance = new LogState;
  return *instance;
}

std::unique_ptr<pando::LogTargetDefault> setUpTarget() {
  // The console user's, so both the user's process and an elevated copy write into it.
  std::string folder;
  if (!platform::makeConsoleUserLogFolder(kLogFolderChain, folder)) return nullptr;
  auto target = std::make_unique<pando::LogTargetDefault>(kCategory);
  if (!target->setLogFile(kLogFileName, folder.c_str())) return nullptr;
  target->setLogLevel(pando::kLogInfo);
  if (!pando::LoggingCore::instance().addTarget(target.get())) return nullptr;
  return target;
}

}  // namespace

bool EngineLog::open() {
  LogState& log = state();
  std::lock_guard<std::mutex> guard(log.mutex);
  ++log.references;
  if (!log.target) log.target = setUpTarget();
  return log.target != nullptr;
}

void EngineLog::close() {
  LogState& log = state();
  std::lock_guard<std::mutex> guard(log.mutex);
  if (log.references == 0) return;
  if (--log.references > 0 || !log.target) return;
  // Once removed, no record can reach the target: dispatch holds the registry while writing.
  pando::LoggingCore::instance().removeTarget(log.target.get());
  log.target.reset();
}

bool EngineLog::isOpen() {
  LogState& log = state();
  std::lock_guard<std::mutex> guard(log.mutex);
  return log.target != nullptr;
}

// Never destroyed: a thread may still log while the process exits.
pando::Logger& EngineLog::getLogger() {
  static pando::Logger* const logger = new pando::Logger(kCategory);
  return *logger;
}

void engineLog(int level, const char* component, const char* format, ...) {
  va_list args;
  va_start(args, format);
  EngineLog::getLogger().vlogAs(level, kCategory, component, "", "", format, args);
  va_end(args);
}

}  // namespace gde
