#include <gtest/gtest.h>

#include <cstring>

#include "core/workflow/WorkflowStepRunner.h"

namespace {

// Every state runs a step unless it waits for the user or a thread (bit 2): a state left out of
// the table would stall the workflow without a word.
TEST(WorkflowStepRunner, EveryStateThatDoesNotWaitHasAStep) {
  int states = 0;
  for (uint32_t step = 1; step <= 0xFF; ++step) {
    for (uint32_t bits = 0; bits < 8; ++bits) {
      const auto state = static_cast<WorkflowState>(step << 8 | bits);
      if (std::strcmp(stateName(state), "unknown") == 0) continue;
      ++states;
      SCOPED_TRACE(stateName(state));
      EXPECT_EQ(WorkflowStepRunner::hasStep(state), (bits & 0x4) == 0);
    }
  }
  EXPECT_EQ(states, 29);
  EXPECT_FALSE(WorkflowStepRunner::hasStep(WorkflowState::kNone));
}

}  // namespace
