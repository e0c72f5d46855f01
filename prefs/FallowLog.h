#pragma once

#include <memory>

#include "foundation/logging/LogTargetDefault.h"
#include "foundation/logging/Logger.h"

// The preferences library's own log, "Fallow.log" in the console user's logs folder. It carries
// names and result codes, never a value. One log serves every open library reference of the
// process: the first acquire sets the file up, the last holder's release takes it down (one sink,
// so no line is written twice). acquire may be called from any thread; the logger may be used
// from any thread while held.
namespace prefs {

class FallowLog {
 public:
  static constexpr const char* kFileName = "Fallow.log";
  static constexpr const char* kCategory = "Fallow";

  // Never null. When the file cannot be set up the logger still works and its lines are dropped.
  static std::shared_ptr<FallowLog> acquire();

  FallowLog(const FallowLog&) = delete;
  FallowLog& operator=(const FallowLog&) = delete;
  ~FallowLog();

  pando::AbstractLogger& logger() { return logger_; }

 private:
  FallowLog();

  pando::LogTargetDefault sink_;
  bool registered_ = false;
  pando::Logger logger_;
};

}  // namespace prefs
