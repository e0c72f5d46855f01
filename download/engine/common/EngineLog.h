#pragma once

#include "foundation/logging/Logger.h"

namespace gde {

// The engine's process-wide log: a pando::Logger of category "GDE" whose lines reach "DLM.log" in
// the console user's logs folder (under "Skyloom/Tarn/OrvelDownload") while the log is open.
//
// The log is reference counted: every library reference opens it once and closes it once, the
// first open sets the file up and the last close tears it down. The logger object itself lives
// for the whole process, so a thread that still logs while the last reference closes never
// touches a freed object; its lines are dropped. Every function may be called from any thread.
class EngineLog {
 public:
  // Takes a reference; the first one sets the log file up. Every open is paired with one close,
  // so a library entry point opens only when it really creates a reference. False when the log
  // file could not be set up (the reference is still taken and must be closed).
  static bool open();
  // Gives a reference back; the last one tears the log file down. Extra calls do nothing.
  static void close();
  static bool isOpen();
  // Never null, valid for the life of the process.
  static pando::Logger& getLogger();
};

// Writes one record to the engine log, labelled with the module "GDE" and the given component
// (the class or function that logs).
void engineLog(int level, const char* component, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

}  // namespace gde
