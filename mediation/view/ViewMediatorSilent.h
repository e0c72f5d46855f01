#pragma once

#include <optional>
#include <string>

#include "mediation/view/ViewMediatorBase.h"

// The mediator of the elevated silent copy, which has no window: every view message it is given
// goes to the user's process through the context's message gateway (waiting there at most for
// the link to come up, then given up), and every view message from the user's process runs the
// dispatcher here, on the gateway's worker thread. It opens no browser and no folder chooser:
// links belong to the user's process, and so does the chooser, whose answer comes with
// "locationChangeClicked" (packed by packInstallLocationChoice). Window operations keep the
// base's do-nothing defaults.
class ViewMediatorSilent final : public ViewMediatorBase {
 public:
  explicit ViewMediatorSilent(ViewMediatorSettings settings = {});

  void sendMessageToView(const std::string& name, const std::string& data) override;
  void onMessageFromView(const std::string& name, const std::string& data) override;

 protected:
  // The choice the user's process made; nothing for a message that carries none.
  std::optional<InstallLocationChoice> chooseInstallLocation(const std::string& data) override;
};
