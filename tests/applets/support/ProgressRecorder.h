#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "core/context/AppletRecords.h"

namespace wendtest {

// A report as the callback received it, without its texts, which live only during the call.
using ProgressReport = AppsPanelProgress;

// Collects the product installation's reports. The start record takes a plain function, so the
// recorder is one per process; clear() it before each run.
class ProgressRecorder {
 public:
  static ProgressRecorder& instance() {
    static ProgressRecorder recorder;
    return recorder;
  }
  static int callback(AppsPanelProgress* record) {
    ProgressReport report = *record;
    report.suberrorCode = report.moreInfoLink = report.errorParamXML = nullptr;
    std::function<void(const ProgressReport&)> hook;
    {
      std::lock_guard lock(instance().mutex_);
      instance().reports_.push_back(report);
      hook = instance().onReport_;
    }
    instance().arrived_.notify_all();
    if (hook) hook(report);
    return 0;
  }

  // `hook` runs inside the callback, on the applet host's thread, after the report is recorded.
  void clear(std::function<void(const ProgressReport&)> hook = nullptr) {
    std::lock_guard lock(mutex_);
    reports_.clear();
    onReport_ = std::move(hook);
  }
  std::vector<ProgressReport> reports() const {
    std::lock_guard lock(mutex_);
    return reports_;
  }
  // The `skip`-th report (from 0) of type 3 or 4; nullopt after a minute.
  std::optional<ProgressReport> waitForEnd(size_t skip = 0) {
    std::unique_lock lock(mutex_);
    std::optional<ProgressReport> found;
    arrived_.wait_for(lock, std::chrono::seconds(60), [&] {
      size_t seen = 0;
      for (const ProgressReport& report : reports_) {
        if ((report.type == kAppsPanelDone || report.type == kAppsPanelError) && seen++ == skip) {
          found = report;
          return true;
        }
      }
      return false;
    });
    return found;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<ProgressReport> reports_;                  // guarded by mutex_
  std::function<void(const ProgressReport&)> onReport_;  // guarded by mutex_
};

}  // namespace wendtest
