#pragma once

#include <string>
#include <vector>

// A UI scenario read from its text: one step per line (the format is described at the top of
// HTMLViewTester.cc). Pure functions; callable from any thread.
namespace htmlviewtester {

enum class StepKind {
  kView,         // later steps act on the registered view of this name
  kTimeout,      // later steps give up after this many seconds
  kWait,         // until the page's body says this screen
  kWaitOverlay,  // until the page's body says this overlay
  kWaitText,     // until a shown element's text contains `text`
  kClick,        // a shown, enabled element, once it is there
  kType,         // `text` into a shown field, with its input and change events
  kSnapshot,     // the view's visible part as NN-<screen>[-<overlay>].png
  kWaitEnd,      // until the application ends by itself
  kWaitFile,     // until a file of this name is in the snapshots' folder
};

struct Step {
  StepKind kind;
  std::string target;  // the view, screen, overlay, CSS selector or file; the seconds of kTimeout
  std::string text;    // kType, kWaitText: the rest of the line, spaces kept
  long timeoutMs = 0;  // kTimeout: the seconds, read with '.' whatever the process's locale
  int line = 0;        // in the scenario file, from 1
  std::string source;  // the line as written, for messages
};

// The steps of `text`; false and `error` naming the line when a line is not a step or follows
// wait-end. Blank lines and lines starting with '#' are skipped.
bool parseScenario(const std::string& text, std::vector<Step>& steps, std::string& error);

}  // namespace htmlviewtester
