#pragma once

#include "core/compat/CompatibilityCheck.h"
#include "core/workflow/WorkflowSteps.h"

// The workflow's compatibility steps on the process's check: both fetches start their threads.
// The workflow decides whether the check runs at all. Workflow thread; the check outlives it.
class CompatibilityStep final : public ICompatibility {
 public:
  explicit CompatibilityStep(CompatibilityCheck& check) : check_(check) {}

  void fetchHardwareSummary() override;
  void fetchCompatibilityScript() override;
  bool checkCompatibility(std::string& alertText, bool& warnOnly) override;
  void setQuitCheck(std::function<bool()> quitting) override;

 private:
  CompatibilityCheck& check_;
};
