#include "foundation/logging/LogTargetDefault.h"

#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/LogRotation.h"
#include "platform/system/ConsoleUser.h"

namespace pando {
namespace {

// Holds off cancellation of the calling thread for its lifetime.
class CancellationHold {
 public:
  CancellationHold() { pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previous_); }
  CancellationHold(const CancellationHold&) = delete;
  CancellationHold& operator=(const CancellationHold&) = delete;
  ~CancellationHold() { pthread_setcancelstate(previous_, nullptr); }

 private:
  int previous_ = PTHREAD_CANCEL_ENABLE;
};

std::string joinPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

bool isRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The threshold that the marker files in `folder` give a sink of `fileName` asked for `level`.
int thresholdWithMarkers(const std::string& folder, const std::string& fileName, int level) {
  auto marker = [&](const std::string& extension) {
    return isRegularFile(
        joinPath(folder, std::filesystem::path(fileName).replace_extension(extension).string()));
  };
  const int debugLevel = level > kLogDebug ? kLogDebug : level;
  if (marker("trace")) return kLogTrace;
  if (marker("debug")) return debugLevel;
  if (isRegularFile(joinPath(folder, "ulex.trace"))) return kLogTrace;
  if (isRegularFile(joinPath(folder, "ulex.debug"))) return debugLevel;
  return level;
}

int64_t toSeconds(int64_t timeMs) {
  return timeMs / 1000;
}

}  // namespace

LogTargetDefault::LogTargetDefault(const char* category, const WallClock& clock,
                                   SemaphoreSetSettings lockSettings)
    : clock_(clock), lockSettings_(lockSettings) {
  setCategory(category);
  setLogLevel(kDefaultLevel);
}

LogTargetDefault::~LogTargetDefault() = default;

bool LogTargetDefault::setLogFile(const char* name, const char* directory) {
  std::lock_guard lock(mutex_);
  ready_ = configure(name, directory);
  return ready_;
}

bool LogTargetDefault::configure(const char* name, const char* directory) {
  const bool named = name && *name;
  if (named && std::string(name).find('/') != std::string::npos) return false;
  std::string folder;
  if (directory && *directory) {
    folder = directory;
  } else if (!platform::consoleUserLogsFolder(folder)) {
    return false;
  }
  std::string path = joinPath(folder, named ? name : fileName_);
  fileName_ = std::filesystem::path(path).filename().string();
  path_ = path;
  if (isOpen_) return moveTo(path_);
  LogFile probe;  // creates the file now, with its mode
  return probe.open(path_);
}

bool LogTargetDefault::moveTo(const std::string& path) {
  // The lock is keyed by the file, so it moves with it.
  processLock_ = std::make_unique<LogFileLock>(lockSettings_);
  if (!file_.open(path)) return false;
  processLock_->open(path, kLockProjectId);
  return true;
}

void LogTargetDefault::setLogLevel(int level) {
  threshold_.store(level);
  std::string folder;
  if (!platform::consoleUserLogsFolder(folder)) return;
  std::string fileName;
  {
    std::lock_guard lock(mutex_);
    fileName = fileName_;
  }
  threshold_.store(thresholdWithMarkers(folder, fileName, level));
}

std::string LogTargetDefault::logFilePath() const {
  std::lock_guard lock(mutex_);
  return path_;
}

bool LogTargetDefault::init() {
  CancellationHold hold;
  std::lock_guard lock(mutex_);
  if (!ready_) return false;
  if (path_.empty()) {
    std::string folder;
    if (!platform::consoleUserLogsFolder(folder)) return false;
    path_ = joinPath(folder, fileName_);
  }
  if (!file_.open(path_)) return false;
  if (!processLock_) processLock_ = std::make_unique<LogFileLock>(lockSettings_);
  // A lock that cannot be had is not fatal here: every write then drops its record.
  processLock_->open(path_, kLockProjectId);
  lastRotationCheck_ = lastLineTime_ = toSeconds(clock_.nowMs());
  if (processLock_->lock()) {
    rotateIfNeeded();
    processLock_->unlock();
  }
  isOpen_ = true;
  return true;
}

bool LogTargetDefault::close() {
  std::lock_guard lock(mutex_);
  file_.close();
  processLock_.reset();  // leaves the set; its last user removes it
  isOpen_ = false;
  return true;
}

bool LogTargetDefault::write(int level, const char* label1, const char* label2, const char* module,
                             const char* component, const char* tag, const char* source,
                             const char* format, va_list* args, int64_t timeMs) {
  if (level < threshold_.load() || !format) return true;
  std::string message = LogLine::message(format, args);
  int printedLevel = LogLine::withoutTokens(message, level);
  int64_t stamp = timeMs != 0 ? timeMs : clock_.nowMs();
  LogFields fields{label1, label2, module, component, tag, source};
  std::string line = LogLine::render(printedLevel, fields, gettid(), message, stamp);

  CancellationHold hold;
  std::lock_guard lock(mutex_);
  if (!processLock_ || !processLock_->lock()) return true;
  appendLocked(line, toSeconds(stamp));
  processLock_->unlock();
  return true;
}

void LogTargetDefault::appendLocked(const std::string& line, int64_t lineSeconds) {
  // The hour is measured between line stamps; a failed check is tried again at the next line.
  if (lastLineTime_ - lastRotationCheck_ >= kRotationCheckSeconds && rotateIfNeeded()) {
    lastRotationCheck_ = lastLineTime_;
  }
  lastLineTime_ = lineSeconds;
  file_.append(line);
}

bool LogTargetDefault::rotateIfNeeded() {
  bool due = false;
  if (!LogRotation::isDue(path_, due)) return false;
  if (!due) return true;
  file_.close();
  LogRotation::copyAndTruncate(path_, LogRotation::rotatedPath(path_, clock_.nowMs()));
  return file_.open(path_);
}

}  // namespace pando
