#include "download/engine/EngineLog.h"

#include <mutex>

#include "foundation/logging/AbstractLogger.h"
#include "platform/ConsoleUser.h"

namespace gde {
namespace {

constexpr const char* kCategory = "GDE";
constexpr const char* kLogFolderChain = "Skyloom/Tarn/OrvelDownload";

struct LogState {
  std::mutex mutex;
  int references = 0;  // guarded by mutex
  bool open = false;   // guarded by mutex
};

LogState& state() {
  static LogState instance;
  return instance;
}

// The log folder belongs to the console user, so both the user's process and an elevated copy
// write into the same place. It is not made world-writable: nobody else needs to plant files in it.
bool makeLogFolder(std::string& folder) {
  std::string logs;
  platform::ConsoleUser user;
  if (!platform::consoleUserLogsFolder(logs) || !platform::findConsoleUser(user)) return false;
  if (!platform::createFoldersFor(logs, kLogFolderChain, user.uid, user.gid, 0755)) return false;
  folder = logs + "/" + kLogFolderChain;
  return true;
}

bool setUpLocked() {
  std::string folder;
  return makeLogFolder(folder);
}

}  // namespace

bool EngineLog::open() {
  LogState& log = state();
  std::lock_guard<std::mutex> guard(log.mutex);
  ++log.references;
  if (!log.open) log.open = setUpLocked();
  return log.open;
}

void EngineLog::close() {
  LogState& log = state();
  std::lock_guard<std::mutex> guard(log.mutex);
  if (log.references == 0) return;
  if (--log.references > 0) return;
  log.open = false;
}

bool EngineLog::isOpen() {
  LogState& log = state();
  std::lock_guard<std::mutex> guard(log.mutex);
  return log.open;
}

// Never destroyed: a thread may still log while the process exits.
pando::Logger& EngineLog::getLogger() {
  static pando::Logger* const logger = new pando::Logger(kCategory);
  return *logger;
}

void engineVlog(int level, const char* component, const char* format, va_list args) {
  EngineLog::getLogger().vlogAs(level, kCategory, component, "", "", format, args);
}

void engineLog(int level, const char* component, const char* format, ...) {
  va_list args;
  va_start(args, format);
  engineVlog(level, component, format, args);
  va_end(args);
}

}  // namespace gde
