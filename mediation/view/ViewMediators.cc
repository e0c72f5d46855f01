#include "mediation/view/ViewMediators.h"

#include "mediation/view/ViewMediatorSilent.h"

namespace mediation {
namespace {

class ViewMediators final : public ForwardingPartsFactory {
 public:
  using ForwardingPartsFactory::ForwardingPartsFactory;

  std::unique_ptr<IViewMediator> makeViewMediator(bool silent, int argc, char** argv) override {
    if (silent) return std::make_unique<ViewMediatorSilent>();
    return ForwardingPartsFactory::makeViewMediator(silent, argc, argv);
  }
};

}  // namespace

std::unique_ptr<IContextPartsFactory> withViewMediators(
    std::unique_ptr<IContextPartsFactory> inner) {
  return std::make_unique<ViewMediators>(std::move(inner));
}

}  // namespace mediation
