#pragma once

#include <ostream>

#include "core/workflow/WorkflowBlocks.h"

// Test output names the workflow's states and answers, not their bytes.
inline void PrintTo(WorkflowState state, std::ostream* out) {
  *out << stateName(state);
}
inline void PrintTo(UIAction action, std::ostream* out) {
  *out << "UIAction " << code(action);
}
inline void PrintTo(UIFlag flag, std::ostream* out) {
  *out << "UIFlag " << code(flag);
}
