#pragma once

#include <functional>
#include <string>
#include <vector>

// What the compatibility check reads of the machine and how it runs the check script, each behind
// an interface so that tests can count and replace them. The system's versions are stateless and
// may be called from any thread.

class IHardwareSummarySource {
 public:
  virtual ~IHardwareSummarySource() = default;
  // The machine's hardware summary JSON text; false, `json` unchanged, when it cannot be made.
  virtual bool fetchHardwareSummary(std::string& json) = 0;
};

class ICheckScriptRunner {
 public:
  virtual ~ICheckScriptRunner() = default;
  // Evaluates `script` in a fresh context and calls `functionName` with the arguments as
  // strings; true only when it returned a string, which is then in `result`. `shouldStop` is
  // asked now and then while the script runs, from the engine; true ends the run, which
  // then fails.
  virtual bool runFunction(const std::string& script, const std::string& functionName,
                           const std::vector<std::string>& arguments, std::string& result,
                           const std::function<bool()>& shouldStop) = 0;
};

// HardwareUtils::FetchHardwareSummary.
class SystemHardwareSummary final : public IHardwareSummarySource {
 public:
  bool fetchHardwareSummary(std::string& json) override;
};

// JSUtils::ExecuteJSFunction on JavaScriptCore, without a logger.
class JavaScriptRunner final : public ICheckScriptRunner {
 public:
  bool runFunction(const std::string& script, const std::string& functionName,
                   const std::vector<std::string>& arguments, std::string& result,
                   const std::function<bool()>& shouldStop) override;
};
