// A stand-in installer library built from the installer's own header, for tests and the demo.
// Elements in the desktop application's XML pick what it does:
//   <pimScenario>  success (default), result:N, retry:N (a retryable status until answered),
//                  paused4 (records of type 4 around a pause), slow (progress in small steps)
//   <pimTarget>    the folder to install the stand-in application into (success only)
//   <pimStepMs>    slow: the pause after each of its steps in milliseconds (default 20)
//   <pimProxy>     "user:password" the library expects with the retry of status 212
//   <pimLog>       a file that gets one line per answer, "type status -> answer"
// Without WEND_TEST_PIM_NO_START it exports all three calls; WEND_TEST_PIM_UNLOADABLE makes it
// need a symbol nothing defines, so that loading it with immediate binding fails.
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "core/install/OrvelPim.h"

namespace {

[[maybe_unused]] std::string element(const std::string& xml, const std::string& name) {
  const std::string open = "<" + name + ">";
  const size_t start = xml.find(open);
  if (start == std::string::npos) return "";
  const size_t end = xml.find("</" + name + ">", start);
  if (end == std::string::npos) return "";
  return xml.substr(start + open.size(), end - start - open.size());
}

struct Run {
  PimWorkflowArgs* args;
  std::string log;

  int ask(PimProgress& record) {
    const int answer = args->callback(&record);
    if (!log.empty()) {
      if (FILE* file = fopen(log.c_str(), "a")) {
        fprintf(file, "%d %d -> %d\n", record.type, record.status, answer);
        fclose(file);
      }
    }
    return answer;
  }

  // Asks until the answer is no pause; cancel gives false.
  bool goOn(PimProgress& record) {
    int answer = ask(record);
    while (answer == PIM_ANSWER_PAUSE) {
      const timespec pause{0, 2'000'000};
      nanosleep(&pause, nullptr);
      answer = ask(record);
    }
    return answer != PIM_ANSWER_CANCEL;
  }

  bool progress(float percent, int type = PIM_PROGRESS) {
    PimProgress record{};
    record.progress = percent;
    record.type = type;
    return goOn(record);
  }
};

[[maybe_unused]] bool makeFolder(const std::string& path) {
  return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

// The stand-in records how it was started, one argument a line. False when a write fails.
[[maybe_unused]] bool writeStandIn(const std::string& tool) {
  FILE* file = fopen(tool.c_str(), "w");
  if (!file) return false;
  const bool written =
      fputs("#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > \"$(dirname \"$0\")/argv.txt\"\n", file) >=
      0;
  // A full disk may show only when the buffer is written out, at the close.
  if (fclose(file) != 0 || !written) return false;
  return chmod(tool.c_str(), 0755) == 0;
}

// False when any write fails: a full disk must not pass for an installed application. The
// stand-in goes both to the bundle's top and where the installer launches it from.
[[maybe_unused]] bool installStandIn(const std::string& target) {
  if (target.empty()) return true;
  const std::string app = target + "/Skyloom.app";
  if (!makeFolder(target) || !makeFolder(app)) return false;
  return writeStandIn(app + "/Skyloom") && makeFolder(app + "/Contents") &&
         makeFolder(app + "/Contents/MacOS") && writeStandIn(app + "/Contents/MacOS/Skyloom");
}

std::string lastResult;

}  // namespace

#ifdef WEND_TEST_PIM_UNLOADABLE
extern "C" {
int wend_test_pim_missing_symbol();
__attribute__((visibility("default"), used)) int wend_test_pim_needs_missing() {
  return wend_test_pim_missing_symbol();
}
}
#endif

extern "C" {

#ifndef WEND_TEST_PIM_NO_START
__attribute__((visibility("default"))) int pim_startWorkflow(PimWorkflowArgs* args, uint32_t* out) {
  if (!args || !args->callback || !args->applicationXml || !out || out[0] || out[1]) return 3;
  const std::string xml = args->applicationXml;
  const std::string scenario = element(xml, "pimScenario");
  Run run{args, element(xml, "pimLog")};
  lastResult.clear();

  if (scenario.rfind("result:", 0) == 0) {
    const int code = atoi(scenario.c_str() + 7);
    lastResult = "<install_result><ets_params><param name=\"scenario\">" + scenario +
                 "</param><param name=\"code\">" + std::to_string(code) +
                 "</param></ets_params></install_result>";
    if (!run.progress(10)) return 215;
    return code;
  }
  if (!run.progress(0, PIM_DOWNLOAD_STARTED)) return 215;
  if (scenario.rfind("retry:", 0) == 0) {
    PimProgress record{};
    record.status = atoi(scenario.c_str() + 6);
    record.retryable = 1;
    int answer = run.ask(record);
    while (answer == PIM_ANSWER_PAUSE) {
      const timespec pause{0, 2'000'000};
      nanosleep(&pause, nullptr);
      PimProgress again = record;
      answer = run.ask(again);
      record = again;
    }
    if (answer != PIM_ANSWER_RETRY) return 215;
    if (record.status == 212) {
      const std::string given = std::string(record.proxyUserName ? record.proxyUserName : "") +
                                ":" + (record.proxyPassword ? record.proxyPassword : "");
      if (given != element(xml, "pimProxy")) return 212;
    }
  }
  if (scenario == "paused4") {
    for (int i = 0; i < 200; ++i) {
      if (!run.progress(20, PIM_NOT_PAUSABLE)) return 215;
      const timespec pause{0, 1'000'000};
      nanosleep(&pause, nullptr);
    }
  }
  const int steps = scenario == "slow" ? 200 : 4;
  const std::string stepMs = element(xml, "pimStepMs");
  const long pauseMs = stepMs.empty() ? 20 : std::min(std::max(atol(stepMs.c_str()), 0L), 10'000L);
  for (int i = 0; i <= steps; ++i) {
    if (!run.progress(50.0f * static_cast<float>(i) / static_cast<float>(steps))) return 215;
    if (scenario == "slow") {
      const timespec pause{pauseMs / 1000, pauseMs % 1000 * 1'000'000};
      nanosleep(&pause, nullptr);
    }
  }
  if (!run.progress(50, PIM_DOWNLOAD_FINISHED)) return 215;
  if (!run.progress(60, PIM_INSTALL_STARTED)) return 215;
  if (!installStandIn(element(xml, "pimTarget"))) return 44;
  if (!run.progress(100)) return 215;
  return 0;
}
#endif

__attribute__((visibility("default"))) int pim_getInstallStatus(char** text) {
  if (!text) return 3;
  *text = lastResult.empty() ? nullptr : strdup(lastResult.c_str());
  return 0;
}

__attribute__((visibility("default"))) void pim_freeString(char** text) {
  if (!text) return;
  free(*text);
  *text = nullptr;
}

}  // extern "C"
