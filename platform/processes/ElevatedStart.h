#pragma once

#include <chrono>
#include <string>
#include <vector>

// Starts a program with administrator rights through the elevation tool (Tool::kElevation):
// argv = {tool, program, arguments...}, never a shell, so what the user is asked to allow is the
// program itself. The tool asks the user and then turns into the program, as pkexec does, so the
// start is seen as the tool's process taking another name; a tool that ends first reports its
// answer in its status. The program runs detached: its own process group, standard streams on
// /dev/null, reaped in the background when it ends. Blocks while the user answers, at most
// `answerLimit`. Any thread; nothing here logs.
namespace platform {

enum class ElevationStatus : int {
  kStarted = 0,    // the tool turned into the program (or the program already ended with 0)
  kCancelled = 1,  // the user dismissed the tool's dialog (its status 126)
  kRefused = 2,    // the tool ended with another status (exitCode; -1 for a signal)
  kNoProgram = 3,  // the program is not an executable regular file: the tool was not run
  kNoTool = 4,     // the tool could not be started; error holds the errno
  kTimedOut = 5,   // no answer within the limit: the tool was killed
};

struct ElevationResult {
  ElevationStatus status = ElevationStatus::kNoTool;
  int exitCode = -1;  // kRefused only
  int error = 0;      // kNoTool only
};

ElevationResult startElevated(const std::string& program, const std::vector<std::string>& arguments,
                              std::chrono::milliseconds answerLimit);

}  // namespace platform
