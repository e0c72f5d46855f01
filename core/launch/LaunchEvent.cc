#include "core/launch/LaunchEvent.h"

#include "core/context/ApplicationContext.h"

void sendLaunchEvent(const std::string& eventType) {
  if (std::shared_ptr<IAnalytics> analytics = ApplicationContext::GetAnalytics()) {
    analytics->sendServiceEvent(eventType);
  }
}
