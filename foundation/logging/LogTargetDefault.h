#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "foundation/logging/LogFile.h"
#include "foundation/logging/LogFileLock.h"
#include "foundation/logging/LogLine.h"
#include "foundation/logging/LogTargetBase.h"
#include "foundation/logging/WallClock.h"

namespace pando {

// The file sink: drops records below its threshold, renders each as one line (LogLine) and appends
// it to a log file that several processes may share. Writers of all threads and processes
// serialise on the file's LogFileLock; the file is rotated (LogRotation) when a writer finds it at
// 10 MiB, checked at init and then once an hour of record time.
//
// Marker files in the console user's logs folder lower the threshold: "<name>.trace" (10) and
// "<name>.debug" (20) for this file's name, "ulex.trace" and "ulex.debug" for every sink.
//
// Configure (setLogFile, setLogLevel) before registering with the logging core, which runs init;
// write may then come from any thread. Nothing is reported to the logging caller: a record that
// cannot be written is dropped. Thread cancellation is held off while a record is written, so a
// cancelled thread never keeps the cross-process lock.
class LogTargetDefault final : public LogTargetBase {
 public:
  static constexpr int kLockProjectId = 11;
  static constexpr int kDefaultLevel = 30;
  static constexpr int64_t kRotationCheckSeconds = 3600;

  // The clock stamps records logged with time 0 and names rotated files; it must outlive the sink.
  explicit LogTargetDefault(const char* category, const WallClock& clock = WallClock::system(),
                            SemaphoreSetSettings lockSettings = {});
  ~LogTargetDefault() override;

  // `name` (kept when null or empty) must be a bare file name; `directory` (the console user's
  // logs folder when null or empty) is not created. Creates the file. False, and the sink refuses
  // init, when the name holds a folder or the file cannot be opened. An open sink moves to the
  // new file.
  bool setLogFile(const char* name, const char* directory);
  // Sets the threshold, then applies the marker files.
  void setLogLevel(int level);
  int getLogLevel() const { return threshold_.load(); }
  // The full path of the log file once set up (empty before).
  std::string logFilePath() const;

  bool init() override;
  bool close() override;
  // Always true.
  bool write(int level, const char* label1, const char* label2, const char* module,
             const char* component, const char* tag, const char* source, const char* format,
             va_list* args, int64_t timeMs) override;

 private:
  bool openFile();
  bool rotateIfNeeded();
  bool configure(const char* name, const char* directory);
  bool moveTo(const std::string& path);
  void appendLocked(const std::string& line, int64_t lineSeconds);

  const WallClock& clock_;
  const SemaphoreSetSettings lockSettings_;
  std::atomic<int> threshold_{kDefaultLevel};

  mutable std::mutex mutex_;
  std::string fileName_ = "PANDO.log";        // guarded by mutex_
  std::string path_;                          // guarded by mutex_
  bool ready_ = true;                         // guarded by mutex_
  bool isOpen_ = false;                       // guarded by mutex_
  LogFile file_;                              // guarded by mutex_
  std::unique_ptr<LogFileLock> processLock_;  // guarded by mutex_
  int64_t lastRotationCheck_ = 0;             // seconds; guarded by mutex_
  int64_t lastLineTime_ = 0;                  // seconds; guarded by mutex_
};

}  // namespace pando
