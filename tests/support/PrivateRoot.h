#pragma once

#include <pwd.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/Environment.h"

namespace wendtest {

// Environment changes by name; nullopt unsets.
using EnvironmentChanges = std::map<std::string, std::optional<std::string>>;

// The overrides under which a test runs the installer in a private tree: every special folder
// below `root`, the current user as the console user, and none of the developer's own XDG folders
// or proxy, so nothing the test writes leaves the tree and no request leaves the machine.
inline EnvironmentChanges privateRootChanges(const std::string& root) {
  return {{"WEND_ROOT", root},
          {"WEND_CONSOLE_UID", std::to_string(geteuid())},
          {"XDG_CONFIG_HOME", std::nullopt},
          {"XDG_DATA_HOME", std::nullopt},
          {"XDG_STATE_HOME", std::nullopt},
          {"http_proxy", std::nullopt}};
}

// The installer's log in the private tree `root`: this process's user is its console user.
inline std::string consoleUserLog(const std::string& root) {
  const passwd* user = getpwuid(geteuid());
  return root + (user ? user->pw_dir : "") + "/.local/state/Skyloom/Tarn/Wend.log";
}

// The same overrides in this process, for the object's lifetime.
class PrivateRootEnvironment {
 public:
  explicit PrivateRootEnvironment(const std::string& root) {
    for (const auto& [name, value] : privateRootChanges(root)) {
      settings_.push_back(std::make_unique<ScopedEnv>(name.c_str(), value));
    }
  }

 private:
  std::vector<std::unique_ptr<ScopedEnv>> settings_;
};

}  // namespace wendtest
