#include "mediation/ipc/MediationParts.h"

#include "mediation/helper/InstallHelperInterface.h"
#include "mediation/ipc/MessageGateway.h"

namespace mediation {
namespace {

class MediationParts final : public ForwardingPartsFactory {
 public:
  using ForwardingPartsFactory::ForwardingPartsFactory;

  std::unique_ptr<IMessageGateway> makeMessageGateway() override {
    return std::make_unique<MessageGateway>(contextGatewayHost());
  }
  std::unique_ptr<IInstallHelper> makeInstallHelper() override {
    return std::make_unique<InstallHelperInterface>();
  }
};

}  // namespace

std::unique_ptr<IContextPartsFactory> withMediation(std::unique_ptr<IContextPartsFactory> inner) {
  return std::make_unique<MediationParts>(std::move(inner));
}

}  // namespace mediation
