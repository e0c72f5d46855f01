#pragma once

#include <memory>
#include <string>

#include "mediation/view/ViewMediatorBase.h"

// The mediator of the elevated silent copy, which has no window: every view message it is given
// goes to the user's process through the context's message gateway (waiting there at most for
// the link to come up, then given up), and every view message from the user's process runs the
// dispatcher here, on the gateway's worker thread. It opens no browser: links belong to the
// user's process. Window operations keep the base's do-nothing defaults.
class ViewMediatorSilent final : public ViewMediatorBase {
 public:
  explicit ViewMediatorSilent(std::shared_ptr<IInstallLocationBrowser> browser = nullptr,
                              ViewMediatorSettings settings = {});

  void sendMessageToView(const std::string& name, const std::string& data) override;
  void onMessageFromView(const std::string& name, const std::string& data) override;
};
