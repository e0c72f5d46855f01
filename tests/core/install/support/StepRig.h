#pragma once

#include "tests/core/workflow/support/WorkflowRig.h"

namespace wendtest {

// A workflow of the user's process with the steps the test gives it, stepped by the test.
using StepRig = WorkflowRig;

}  // namespace wendtest
