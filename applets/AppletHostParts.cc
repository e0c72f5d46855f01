#include "applets/AppletHostParts.h"

#include "applets/LoomIMMessageManager.h"

namespace applets {
namespace {

class AppletHostParts final : public ForwardingPartsFactory {
 public:
  AppletHostParts(std::unique_ptr<IContextPartsFactory> inner, AppletHostSettings settings)
      : ForwardingPartsFactory(std::move(inner)), settings_(std::move(settings)) {}

  std::unique_ptr<IAppletMessageManager> makeAppletMessageManager() override {
    return std::make_unique<LoomIMMessageManager>(settings_);
  }

 private:
  AppletHostSettings settings_;
};

}  // namespace

std::unique_ptr<IContextPartsFactory> withAppletHost(std::unique_ptr<IContextPartsFactory> inner,
                                                     AppletHostSettings settings) {
  return std::make_unique<AppletHostParts>(std::move(inner), std::move(settings));
}

}  // namespace applets
