#include "core/compat/CompatibilityStep.h"

void CompatibilityStep::fetchHardwareSummary() {
  check_.FetchHardwareSummary(true);
}

void CompatibilityStep::fetchCompatibilityScript() {
  check_.FetchCompatibilityCheckScript(true);
}

bool CompatibilityStep::checkCompatibility(std::string& alertText, bool& warnOnly) {
  return check_.CheckCompatibility(alertText, warnOnly);
}

void CompatibilityStep::setQuitCheck(std::function<bool()> quitting) {
  check_.setStopCheck(std::move(quitting));
}
