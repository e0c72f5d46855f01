#pragma once

#include <unistd.h>

#include <string>

#include "platform/system/ConsoleUser.h"
#include "platform/system/SpecialFolders.h"
#include "prefs/MachineSignature.h"
#include "tests/support/Environment.h"
#include "tests/support/FileState.h"
#include "tests/support/TemporaryFolder.h"

namespace wendtest {

// A private WEND_ROOT with a chosen console user, so the preferences database and Fallow.log land
// in a tree of the test's own. Child processes inherit it through the environment.
class PrefsEnvironment {
 public:
  const std::string& root() const { return root_.path(); }
  std::string databasePath() const {
    std::string folder;
    platform::specialFolderPath(26, folder);
    return folder + "/opm.db";
  }
  std::string logPath() const {
    std::string folder;
    platform::consoleUserLogsFolder(folder);
    return folder + "/Fallow.log";
  }

 private:
  TemporaryFolder root_;
  ScopedEnv rootEnv_{"WEND_ROOT", root_.path()};
  ScopedEnv uidEnv_{"WEND_CONSOLE_UID", std::to_string(geteuid())};
  ScopedEnv dataEnv_{"XDG_DATA_HOME", std::nullopt};
  ScopedEnv stateEnv_{"XDG_STATE_HOME", std::nullopt};
};

// A machine that is known by a fixed text, so a test can stand for another machine.
class FixedSignature final : public prefs::MachineSignature {
 public:
  explicit FixedSignature(std::string text) : text_(std::move(text)) {}
  bool signatureFor(uid_t user, std::string& out) const override {
    out = text_ + "/" + std::to_string(user);
    return true;
  }

 private:
  std::string text_;
};

// The C interface reads the real machine id; a host without one can only check the refusal.
inline bool hostHasMachineId() {
  std::string ignored;
  return prefs::MachineIdSignature().signatureFor(0, ignored);
}

}  // namespace wendtest
