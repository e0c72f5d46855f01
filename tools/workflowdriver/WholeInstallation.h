#pragma once

#include <cstdint>
#include <string>

// A whole installation from 0x101 to the final state, with the parts the installer itself is
// built from (online services, applet host, install helpers, the two-process link) minus the
// window: a console view prints each state, screen, progress line and alert, and the options
// answer the way a person at the page would. The process runs every state itself, as an
// administrator's installer does.
//
//   workflowdriver --whole [--retries=N] [--retry-when=FILE] [--quit-at=STATE] [--decline]
//     --retries=N       the first N alerts are answered with retry (default 0); later ones quit
//     --retry-when=FILE a retry waits until FILE exists (the test has brought the network back)
//     --quit-at=STATE   the user asks to quit once the workflow is in STATE (hexadecimal, 0x1606)
//     --decline         a quit confirmation is answered with "stay" instead of "quit"
//
// Everything else on the command line goes to the installer's own command-line parser. The
// bundle the program runs from gives the configuration. Main thread only; one run per process.

// The driver's exit statuses: named, so a test tells how a run ended without parsing output.
enum class WholeRunExit : int {
  kInstalled = 0,        // the final state after the launch, with no error
  kFailed = 1,           // the final state with an error nobody was shown
  kUsage = 2,            // the options or the bundle's configuration did not read
  kQuitByUser = 3,       // ended by the quit asked with --quit-at, confirmed
  kEndedAfterAlert = 4,  // an alert was answered with quit
};

struct WholeRunOptions {
  int retries = 0;
  std::string retryWhen;
  uint32_t quitAt = 0;  // 0: never
  bool decline = false;
};

// True when argv asks for the whole-installation mode.
bool wantsWholeInstallation(int argc, char** argv);
// True when argv is the one a finished installation gives its temporary copy.
bool isRelaunchedCopy(int argc, char** argv);

// The whole installation; the exit status as an int for main.
int runWholeInstallation(int argc, char** argv);
// The temporary copy's launch modes, as the installer runs them: wait for the parent, detach the
// volume, remove the copy's folder. Returns 0.
int runRelaunchedCopy(int argc, char** argv);
