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

// Stand-in parts with the bundle's resources from a test folder, recording analytics and the view
// the test hands in (kept alive by the test, not deleted by the context).
class GatewayTestParts final : public StandInPartsFactory {
 public:
  GatewayTestParts(std::string resources, IViewMediator* view,
                   std::shared_ptr<std::vector<std::string>> events)
      : resources_(std::move(resources)), view_(view), events_(std::move(events)) {}
  std::unique_ptr<IBundleResources> makeBundleResources() override {
    return std::make_unique<FolderBundleResources>(resources_);
  }
  std::unique_ptr<IAnalytics> makeAnalytics() override {
    return std::make_unique<RecordingAnalytics>(events_);
  }
  std::unique_ptr<IViewMediator> makeViewMediator(bool, int, char**) override {
    class Forwarding final : public IViewMediator {
     public:
      explicit Forwarding(IViewMediator* view) : view_(view) {}
      void sendMessageToView(const std::string& name, const std::string& data) override {
        view_->sendMessageToView(name, data);
      }
      void onMessageFromView(const std::string& name, const std::string& data) override {
        view_->onMessageFromView(name, data);
      }
      void setProxyCredentials(const std::string& user, const std::string& password) override {
        view_->setProxyCredentials(user, password);
      }

     private:
      IViewMediator* view_;
    };
    return std::make_unique<Forwarding>(view_);
  }

 private:
  std::string resources_;
  IViewMediator* view_;
  std::shared_ptr<std::vector<std::string>> events_;
};

}  // namespace wendtest
