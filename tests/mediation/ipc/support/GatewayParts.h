#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/context/BundleResources.h"
#include "core/context/StandInParts.h"

namespace wendtest {

// Analytics that keep the event types they are sent. Any thread.
class RecordingAnalytics final : public IAnalytics {
 public:
  explicit RecordingAnalytics(std::shared_ptr<std::vector<std::string>> events)
      : events_(std::move(events)) {}
  void sendServiceEvent(const std::string& eventType) override {
    std::lock_guard lock(mutex());
    events_->push_back(eventType);
  }
  static std::mutex& mutex() {
    static std::mutex lock;
    return lock;
  }

 private:
  std::shared_ptr<std::vector<std::string>> events_;
};

// Stand-in parts with the bundle's resources from a test folder, recording analytics and a
// view of type View, which the context owns and `view` points to while it lives.
template <typename View>
class GatewayTestParts final : public StandInPartsFactory {
 public:
  GatewayTestParts(std::string resources, View** view,
                   std::shared_ptr<std::vector<std::string>> events)
      : resources_(std::move(resources)), view_(view), events_(std::move(events)) {}
  std::unique_ptr<IBundleResources> makeBundleResources() override {
    return std::make_unique<FolderBundleResources>(resources_);
  }
  std::unique_ptr<IAnalytics> makeAnalytics() override {
    return std::make_unique<RecordingAnalytics>(events_);
  }
  std::unique_ptr<IViewMediator> makeViewMediator(bool, int, char**) override {
    auto view = std::make_unique<View>();
    *view_ = view.get();
    return view;
  }

 private:
  std::string resources_;
  View** view_;
  std::shared_ptr<std::vector<std::string>> events_;
};

}  // namespace wendtest
