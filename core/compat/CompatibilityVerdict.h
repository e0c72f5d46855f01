#pragma once

#include <functional>
#include <string>

// What the answer of the compatibility script means for the installation. The answer is
// downloaded code's output, so every shape is expected: whatever is not a JSON object, or
// carries no verdict as a string, lets the installation go on. Stateless; any thread.

enum class CompatibilityOutcome {
  kPass = 0,  // go on
  kWarn = 1,  // stop at the alert, which may be passed
  kFail = 2,  // stop at the alert and report the failed requirements
};

struct CompatibilityVerdict {
  CompatibilityOutcome outcome = CompatibilityOutcome::kPass;
  // The answer with its "systemRequirementURL" set, written compactly (with a final line feed):
  // the alert text. Empty when the answer is no JSON object or its "checkResult" is "success".
  std::string alertText;
  // kFail: the "type" texts of the "failingList" entries joined by " ," (a blank, then a comma);
  // entries whose "type" is not a string add nothing, and a "failingList" that is not an array
  // gives "".
  std::string failingTypes;
};

// The verdict for the script's `result` text. "checkResult" "warn" and "fail" stop; "success"
// and any other text, or a "checkResult" that is absent or not a string, go on. `requirementUrl`
// is asked only when the alert text is built.
CompatibilityVerdict verdictFromResult(const std::string& result,
                                       const std::function<std::string()>& requirementUrl);
