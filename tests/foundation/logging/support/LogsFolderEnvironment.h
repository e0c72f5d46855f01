#pragma once

#include <time.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "foundation/logging/WallClock.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

namespace wendtest {

// Points the console user's logs folder into a private tree: the folder is root() + "/state".
// Local time is UTC, so rendered times are fixed.
class LogsFolderEnvironment {
 public:
  LogsFolderEnvironment() { tzset(); }
  const std::string& root() const { return root_.path(); }
  std::string logsFolder() const { return root_ / "state"; }

 private:
  TemporaryFolder root_;
  ScopedEnv wendRoot_{"WEND_ROOT", root_.path()};
  ScopedEnv state_{"XDG_STATE_HOME", "/state"};
  ScopedEnv console_{"WEND_CONSOLE_UID", std::to_string(geteuid())};
  ScopedEnv zone_{"TZ", "UTC"};
};

// A clock that says what the test tells it.
class FixedClock final : public pando::WallClock {
 public:
  explicit FixedClock(int64_t nowMs) : nowMs_(nowMs) {}
  int64_t nowMs() const override { return nowMs_.load(); }
  void set(int64_t nowMs) { nowMs_.store(nowMs); }

 private:
  std::atomic<int64_t> nowMs_;
};

}  // namespace wendtest
