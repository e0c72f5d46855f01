#pragma once

#include "core/config/ConfigStore.h"
#include "core/context/ContextParts.h"
#include "core/install/PiiNoticeState.h"
#include "core/install/VisitorId.h"
#include "core/workflow/WorkflowSteps.h"

// The workflow's steps on the user's stored choices: the visitor-id synchronisation with the
// signed-in user's GUID and the process's proxy credentials, and the privacy-notice state. The
// stored proxy credentials keep the stand-in's answers. Workflow thread; the configuration,
// profile and credentials outlive it.
class UserChoices final : public IUserChoices {
 public:
  UserChoices(ConfigStore& config, ISignInProfile& profile, SharedProxyCredentials& proxy,
              VisitorIdSettings visitorId = {},
              const pando::WallClock& clock = pando::WallClock::system());

  void updateVisitorId() override;
  bool privacyNoticeAccepted() override;
  void storePrivacyNotice() override;

 private:
  ConfigStore& config_;
  ISignInProfile& profile_;
  SharedProxyCredentials& proxy_;
  const VisitorIdSettings visitorId_;
  const PiiNoticeState piiNotice_;
};
