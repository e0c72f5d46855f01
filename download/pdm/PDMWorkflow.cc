#include "download/pdm/PDMWorkflow.h"

#include "download/pdm/PDMContext.h"

namespace orvel::PackageDownloadManager {

PDMWorkflowGenerator::PDMWorkflowGenerator()
    : workflows_{
          {kWorkflowPackageByURL,
           {DOWNLOAD_ASSET_MANIFEST, PARSE_MANIFEST, DOWNLOAD_ASSET_VALIDATION, PARSE_VALIDATION,
            DOWNLOAD_ASSET, EXECUTE_ASSET, END_WORKFLOW}},
          {kWorkflowSingleFile, {DOWNLOAD_ASSET, VALIDATE_ASSET_SIGNATURE, END_WORKFLOW}},
          {kWorkflowPackageByText,
           {PARSE_MANIFEST, DOWNLOAD_ASSET_VALIDATION, PARSE_VALIDATION, CHECK_DOWNLOADED_ASSET,
            DOWNLOAD_ASSET, EXECUTE_ASSET, END_WORKFLOW}},
      } {}

bool PDMWorkflowGenerator::generateWorkflow(const PDMContext* context) {
  if (!WorkflowGeneratorBase::generateWorkflow(context)) return false;
  const auto found = workflows_.find(context->request.workflowId);
  states_ = found == workflows_.end() ? std::vector<int32_t>() : found->second;
  return true;
}

bool WorkflowCursor::step(WorkflowManagerBase* manager, PDMContext* context) {
  if (manager == nullptr) return false;
  int32_t state = 0;
  if (current(state)) return true;
  manager->executeState(state, context);
  return false;
}

bool WorkflowCursor::current(int32_t& state) const {
  const std::vector<int32_t>& states = generator_->states();
  if (index_ >= states.size()) return true;
  state = states[index_];
  return false;
}

}  // namespace orvel::PackageDownloadManager
