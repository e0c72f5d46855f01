#include "app/ShellWiring.h"

#include <string>

#include "core/config/ConfigValues.h"
#include "core/context/ApplicationContext.h"
#include "core/workflow/WorkflowBlocks.h"
#include "mediation/ui/ViewMediatorUI.h"

namespace {

constexpr char kCancelMessage[] = "cancelButtonClicked";

void returnToSignIn(ApplicationContext& context) {
  if (auto* mediator = dynamic_cast<mediation::ViewMediatorUI*>(context.viewMediator.get())) {
    mediator->showMainView();
  }
  if (context.viewMediator) context.viewMediator->showSpinnerScreen();
  if (context.workflowManager) context.workflowManager->setStateCode(WorkflowState::kSignIn);
}

}  // namespace

bool applicationMayEnd(uint32_t stateCode) {
  // The final step asks to terminate after a failed installation too: Final alone would leave
  // that run waiting for a quit that only cancels.
  return stateCode == code(WorkflowState::kFailedFinal) || stateCode == code(WorkflowState::kFinal);
}

mediation::ShellHandlers shellHandlers(ApplicationContext& context) {
  mediation::ShellHandlers handlers;
  handlers.mayEnd = [&context] {
    return !context.workflowManager ||
           applicationMayEnd(code(context.workflowManager->stateCode()));
  };
  handlers.cancelRequested = [&context] {
    if (context.viewMediator) context.viewMediator->onMessageFromView(kCancelMessage, "");
  };
  handlers.idraType3Closed = [&context] { returnToSignIn(context); };
  handlers.localizedText = [&context](const std::string& key) {
    return context.viewMediator ? context.viewMediator->getLocalizedText(key) : std::string();
  };
  handlers.productName = GetProductName(context.config);
  return handlers;
}
