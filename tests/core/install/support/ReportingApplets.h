#pragma once

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/context/AppletRecords.h"
#include "core/context/ContextParts.h"

namespace wendtest {

// An applet host that answers StartWorkflow with `startResult`, keeps the start record's texts
// and reports from a thread of its own, as the real host does: what the test hands to report(),
// or, with `completes`, 50 % and completion once started. Any thread.
class ReportingApplets final : public IAppletMessageManager {
 public:
  ~ReportingApplets() override { FinalizeCore(); }
  int StartWorkflow(const ProductInstallArgs* args) override {
    const auto copy = [](const char* text) { return std::string(text ? text : "(null)"); };
    std::lock_guard lock(mutex_);
    callback_ = args->progressCallback;
    started_.push_back({copy(args->configXml), copy(args->tempLocation),
                        copy(args->installHelperPipeName), copy(args->proxyUserName),
                        copy(args->proxyPassword), copy(args->locale)});
    if (startResult == 0 && completes) {
      worker_ = std::thread([this] {
        call(progress(50));
        call(AppsPanelProgress{0, kAppsPanelDone});
      });
    }
    return startResult;
  }
  void HandleUserAction(const AppletUserAction* action) override {
    std::lock_guard lock(mutex_);
    actions_.push_back(action->action);
  }
  void GetProductInfo(AppletProductInfo&) override {}
  int FinalizeCore() override {
    std::unique_lock lock(mutex_);
    std::thread worker = std::move(worker_);
    lock.unlock();  // the worker takes mutex_ itself
    if (worker.joinable()) worker.join();
    return 0;
  }

  // Reports `record` through the start record's callback on another thread; returns after it.
  void report(AppsPanelProgress record) {
    std::thread([&] { call(record); }).join();
  }
  static AppsPanelProgress progress(float percent) { return AppsPanelProgress{percent}; }
  static AppsPanelProgress error(int code) { return AppsPanelProgress{0, kAppsPanelError, code}; }

  std::vector<std::vector<std::string>> started() const {
    std::lock_guard lock(mutex_);
    return started_;
  }
  std::vector<std::string> actions() const {
    std::lock_guard lock(mutex_);
    return actions_;
  }
  int startResult = 0;
  bool completes = false;

 private:
  void call(AppsPanelProgress record) {
    std::unique_lock lock(mutex_);
    ProductProgressCallback callback = callback_;
    lock.unlock();
    if (callback) callback(&record);
  }
  mutable std::mutex mutex_;
  ProductProgressCallback callback_ = nullptr;     // guarded by mutex_
  std::vector<std::vector<std::string>> started_;  // guarded by mutex_
  std::vector<std::string> actions_;               // guarded by mutex_
  std::thread worker_;                             // guarded by mutex_
};

}  // namespace wendtest
