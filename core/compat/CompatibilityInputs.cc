#include "core/compat/CompatibilityInputs.h"

#include "foundation/system/HardwareUtils.h"
#include "foundation/system/JSUtils.h"

bool SystemHardwareSummary::fetchHardwareSummary(std::string& json) {
  std::string summary;
  if (!HardwareUtils::FetchHardwareSummary(summary)) return false;
  json = std::move(summary);
  return true;
}

bool JavaScriptRunner::runFunction(const std::string& script, const std::string& functionName,
                                   const std::vector<std::string>& arguments, std::string& result,
                                   const std::function<bool()>& shouldStop) {
  return JSUtils::ExecuteJSFunction(script, functionName, arguments, result, nullptr, shouldStop);
}
