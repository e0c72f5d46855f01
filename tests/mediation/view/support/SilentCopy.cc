// The elevated copy of the silent-mediator test: a test executable of this folder started as
// exactly "<exe> --pipename=<name>" with VIEW_TEST_SILENT_COPY naming the bundle's resources
// folder. It runs the real context, gateway and silent mediator; once linked it raises the
// error alert of SilentAlert() and then serves the user's process until the link ends.
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "core/context/ApplicationContext.h"
#include "core/context/BundleResources.h"
#include "core/context/StandInParts.h"
#include "mediation/ipc/MediationParts.h"
#include "mediation/view/ViewMediators.h"
#include "tests/mediation/view/support/SilentAlert.h"
#include "tests/support/ChildEntry.h"
#include "tests/support/WaitUntil.h"

namespace {

class CopyParts final : public StandInPartsFactory {
 public:
  explicit CopyParts(std::string folder) : folder_(std::move(folder)) {}
  std::unique_ptr<IBundleResources> makeBundleResources() override {
    return std::make_unique<FolderBundleResources>(folder_);
  }

 private:
  std::string folder_;
};

void actAsCopy(int argc, char** argv, char**) {
  const char* resources = std::getenv("VIEW_TEST_SILENT_COPY");
  if (argc != 2 || std::strncmp(argv[1], "--pipename=", 11) != 0 || !resources) return;
  ApplicationContext::SetPartsFactory(mediation::withMediation(
      mediation::withViewMediators(std::make_unique<CopyParts>(resources))));
  ApplicationContext* context = ApplicationContext::GetInstance();
  if (!context->Initialize(argc, argv)) _exit(2);
  // The fake elevation tool gives no rights: this copy plays the administrator.
  context->isAdmin = true;
  if (!context->InitMessageGateway(argc, argv)) _exit(3);
  if (wendtest::waitUntil([&] {
        return context->messageGateway->linkState() == IMessageGateway::LinkState::kConnected;
      })) {
    wendtest::raiseSilentAlert(*context->viewMediator);
  }
  context->messageGateway->WaitForGatewayThread();
  ApplicationContext::Destroy();
  _exit(0);
}

WEND_CHILD_ENTRY(actAsCopy);

}  // namespace
