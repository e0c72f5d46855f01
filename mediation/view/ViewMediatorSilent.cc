#include "mediation/view/ViewMediatorSilent.h"

#include "core/context/ApplicationContext.h"

ViewMediatorSilent::ViewMediatorSilent(ViewMediatorSettings settings)
    : ViewMediatorBase(nullptr, settings) {
  setOpensLinks(false);
}

void ViewMediatorSilent::sendMessageToView(const std::string& name, const std::string& data) {
  if (context().messageGateway) {
    context().messageGateway->sendMessageToOtherViewMediator(name, data, false);
  }
}

void ViewMediatorSilent::onMessageFromView(const std::string& name, const std::string& data) {
  processMessageFromView(name, data);
}

std::optional<InstallLocationChoice> ViewMediatorSilent::chooseInstallLocation(
    const std::string& data) {
  return unpackInstallLocationChoice(data);
}
