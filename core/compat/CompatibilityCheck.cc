#include "core/compat/CompatibilityCheck.h"

#include <atomic>
#include <system_error>

#include "core/compat/CompatibilityVerdict.h"
#include "foundation/json/FastWriter.h"
#include "foundation/json/Value.h"
#include "foundation/logging/LogCallback.h"

namespace {

constexpr char kComponent[] = "CompatibilityCheck";
constexpr char kFailEvent[] = "lbs-compatibility-check-fail";

// Starts `entry` on `thread`, joining the thread's earlier run first. False, logged with
// `failure`, when no thread can be made.
template <typename Entry>
bool restart(std::thread& thread, Entry entry, const char* failure) {
  if (thread.joinable()) thread.join();
  try {
    thread = std::thread(entry);
    return true;
  } catch (const std::system_error&) {
    LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "", "%s", failure);
    return false;
  }
}

}  // namespace

CompatibilityCheck::CompatibilityCheck(IProductRequirements& requirements,
                                       std::function<std::string()> locale,
                                       CompatibilityEventSink events,
                                       std::unique_ptr<IHardwareSummarySource> hardware,
                                       std::unique_ptr<ICheckScriptRunner> scripts)
    : requirements_(requirements),
      locale_(std::move(locale)),
      events_(std::move(events)),
      hardware_(hardware ? std::move(hardware) : std::make_unique<SystemHardwareSummary>()),
      scripts_(scripts ? std::move(scripts) : std::make_unique<JavaScriptRunner>()) {}

CompatibilityCheck::~CompatibilityCheck() {
  joinThreads();
}

std::string CompatibilityCheck::clientInformation(const std::string& locale) {
  Json::Value information(Json::objectValue);
  information["context"] = "Wend";
  information["locale"] = locale;
  Json::FastWriter writer;
  return writer.write(information);
}

bool CompatibilityCheck::FetchHardwareSummary(bool asynchronous) {
  if (asynchronous) {
    return restart(
        hardwareSummaryThread_, [this] { HardwareSummaryThreadEntry(); },
        "failed to create a new Fetch Hardware Summary Workflow thread.");
  }
  fetchSummaryNow();
  return true;
}

bool CompatibilityCheck::FetchCompatibilityCheckScript(bool asynchronous) {
  if (asynchronous) {
    return restart(
        scriptThread_, [this] { ScriptThreadEntry(); },
        "failed to create a new Fetch Compatibility Check Script thread.");
  }
  fetchScriptNow();
  return true;
}

void CompatibilityCheck::HardwareSummaryThreadEntry() {
  fetchSummaryNow();
}

void CompatibilityCheck::ScriptThreadEntry() {
  fetchScriptNow();
}

void CompatibilityCheck::fetchSummaryNow() {
  LogCallback(pando::kLogInfo, kBootstrapperModule, kComponent, "", "",
              "Fetching Hardware Summary");
  if (!hardware_->fetchHardwareSummary(hardwareSummary_)) {
    LogCallback(pando::kLogError, kBootstrapperModule, kComponent, "", "",
                "Failed to get HardwareUtils JSON");
  }
}

void CompatibilityCheck::fetchScriptNow() {
  LogCallback(pando::kLogInfo, kBootstrapperModule, kComponent, "", "",
              "Getting Compatibility Script for Hardware Checks");
  script_ = requirements_.getCompatibilityCheckScript();
}

void CompatibilityCheck::joinThreads() {
  if (scriptThread_.joinable()) scriptThread_.join();
  if (hardwareSummaryThread_.joinable()) hardwareSummaryThread_.join();
}

bool CompatibilityCheck::CheckCompatibility(std::string& alertText, bool& warn) {
  joinThreads();
  if (refetchHardwareSummary_) fetchSummaryNow();
  refetchHardwareSummary_ = false;
  if (script_.empty()) {
    LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                "Empty compatibilityCheckScript. Skipping check.");
    return true;
  }
  const std::string client = clientInformation(locale_ ? locale_() : std::string());
  LogCallback(pando::kLogInfo, kBootstrapperModule, kComponent, "", "",
              "clientInfoJsonString: %s:", client.c_str());
  std::string result;
  // A script that never returns would hold the workflow in this step for ever, past any quit.
  const auto deadline = std::chrono::steady_clock::now() + scriptTimeLimit_;
  std::atomic<bool> timedOut{false};
  const std::function<bool()> shouldStop = [&] {
    timedOut = std::chrono::steady_clock::now() >= deadline;
    return timedOut || (stopCheck_ && stopCheck_());
  };
  if (!scripts_->runFunction(script_, "checkCompatibility", {client, hardwareSummary_}, result,
                             shouldStop)) {
    if (timedOut) {
      LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                  "The compatibility check script ran past its time limit of %lld ms",
                  static_cast<long long>(scriptTimeLimit_.count()));
    }
    LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                "Script execution for checking system requirements has failed. Assuming system "
                "requirements are satisfied");
    return true;
  }
  LogCallback(pando::kLogInfo, kBootstrapperModule, kComponent, "", "",
              "Script execution for checking system requirements has succeeded with result: %s.",
              result.c_str());

  const CompatibilityVerdict verdict =
      verdictFromResult(result, [this] { return requirements_.getSystemRequirementURL(); });
  if (!verdict.alertText.empty()) {
    LogCallback(pando::kLogInfo, kBootstrapperModule, kComponent, "", "",
                "New json as a result of js execution and sys Requiremnt url: %s.",
                verdict.alertText.c_str());
  }
  if (verdict.outcome == CompatibilityOutcome::kPass) return true;
  alertText = verdict.alertText;
  warn = verdict.outcome == CompatibilityOutcome::kWarn;
  refetchHardwareSummary_ = true;
  if (verdict.outcome == CompatibilityOutcome::kFail && events_) {
    events_(kFailEvent, {{"failing-param-type", verdict.failingTypes}});
  }
  return false;
}
