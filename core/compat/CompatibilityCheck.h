#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "core/compat/CompatibilityInputs.h"
#include "core/install/ProductsData.h"

// Sends one analytics event with its extra parameters; any thread.
using CompatibilityEventSink =
    std::function<void(const std::string& eventType, const std::map<std::string, std::string>&)>;

// Whether the machine meets the desktop application's system requirements, as the product's own
// check script says: the script (the products data's custom entry "compatibilityCheckScript")
// and the machine's hardware summary are fetched on threads of their own while the workflow does
// other work, and CheckCompatibility joins both and runs the script's function
// checkCompatibility(client information, hardware summary), for a limited time. Logs through the
// process's log function under "CompatibilityCheck".
//
// Threads: every operation on one thread, the workflow's. The hardware-summary thread writes only
// the summary and the script thread only the script; both are read only after the join, so no
// lock is needed. The destructor joins both threads. The requirements, the locale source and the
// event sink must outlive the object; the inputs are owned.
class CompatibilityCheck {
 public:
  // Null inputs mean the system's: HardwareUtils and JavaScriptCore.
  CompatibilityCheck(IProductRequirements& requirements, std::function<std::string()> locale,
                     CompatibilityEventSink events,
                     std::unique_ptr<IHardwareSummarySource> hardware = nullptr,
                     std::unique_ptr<ICheckScriptRunner> scripts = nullptr);
  ~CompatibilityCheck();
  CompatibilityCheck(const CompatibilityCheck&) = delete;
  CompatibilityCheck& operator=(const CompatibilityCheck&) = delete;

  // Asynchronous: joins an earlier hardware-summary thread and starts a new one; false when it
  // cannot be started. Otherwise fetches the summary now and returns true, also when it could not
  // be made (the earlier summary stays).
  bool FetchHardwareSummary(bool asynchronous);
  // The same for the script, which the products data may have to download first; an empty script
  // when there is none.
  bool FetchCompatibilityCheckScript(bool asynchronous);
  // True: go on. False: stop at the alert, whose text (the script's answer with
  // "systemRequirementURL") is then in `alertText`, with `warn` set for "warn" and cleared for
  // "fail"; on true both keep what the caller put there. The next check after a false fetches
  // the hardware summary again, but keeps the script.
  bool CheckCompatibility(std::string& alertText, bool& warn);

  // How long the script may run before it counts as failed to run (30 s unless set), and what
  // else ends it early (the process quitting; null: nothing). Set before the check runs.
  void setScriptTimeLimit(std::chrono::milliseconds limit) { scriptTimeLimit_ = limit; }
  void setStopCheck(std::function<bool()> stop) { stopCheck_ = std::move(stop); }

  // The client information handed to the script: {"context":"Wend","locale":<locale>}, written
  // compactly with a final line feed.
  static std::string clientInformation(const std::string& locale);

 private:
  void HardwareSummaryThreadEntry();
  void ScriptThreadEntry();
  void fetchSummaryNow();
  void fetchScriptNow();
  void joinThreads();

  IProductRequirements& requirements_;
  const std::function<std::string()> locale_;
  const CompatibilityEventSink events_;
  const std::unique_ptr<IHardwareSummarySource> hardware_;
  const std::unique_ptr<ICheckScriptRunner> scripts_;

  std::chrono::milliseconds scriptTimeLimit_ = std::chrono::seconds(30);
  std::function<bool()> stopCheck_;
  bool refetchHardwareSummary_ = false;
  std::string script_;           // written by the script thread; read after its join
  std::string hardwareSummary_;  // written by the hardware-summary thread; read after its join
  std::thread hardwareSummaryThread_;
  std::thread scriptThread_;
};
