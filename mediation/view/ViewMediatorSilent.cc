#include "mediation/view/ViewMediatorSilent.h"

#include "core/context/ApplicationContext.h"

ViewMediatorSilent::ViewMediatorSilent(std::shared_ptr<IInstallLocationBrowser> browser,
                                       ViewMediatorSettings settings)
    : ViewMediatorBase(std::move(browser), settings) {
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
