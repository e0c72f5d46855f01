#include "core/install/UserChoices.h"

UserChoices::UserChoices(ConfigStore& config, ISignInProfile& profile,
                         SharedProxyCredentials& proxy, VisitorIdSettings visitorId,
                         const pando::WallClock& clock)
    : config_(config), profile_(profile), proxy_(proxy), visitorId_(visitorId), piiNotice_(clock) {}

void UserChoices::updateVisitorId() {
  const ProxyCredentials proxy = proxy_.get();
  syncVisitorId(config_, profile_.userGuid(), proxy.userName, proxy.password, visitorId_);
}

bool UserChoices::privacyNoticeAccepted() {
  return piiNotice_.isPiiNoticeAlreadyShown();
}

void UserChoices::storePrivacyNotice() {
  piiNotice_.savePiiNoticeShown();
}
