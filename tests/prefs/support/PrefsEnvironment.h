#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/ConsoleUser.h"
#include "platform/SpecialFolders.h"
#include "prefs/MachineSignature.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

namespace wendtest {

// A private WEND_ROOT with a chosen console user, so the preferences database and Fallow.log land
// in a tree of the test's own. Child processes inherit it through the environment.
class PrefsEnvironment {
 public:
  explicit PrefsEnvironment(uid_t consoleUid = geteuid())
      : rootEnv_("WEND_ROOT", root_.path()),
        uidEnv_("WEND_CONSOLE_UID", std::to_string(consoleUid)),
        dataEnv_("XDG_DATA_HOME", std::nullopt),
        stateEnv_("XDG_STATE_HOME", std::nullopt) {}

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
  ScopedEnv rootEnv_, uidEnv_, dataEnv_, stateEnv_;
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

struct FileState {
  bool exists = false;
  uid_t owner = 0;
  mode_t mode = 0;
  std::string bytes;
};

inline FileState fileState(const std::string& path) {
  FileState state;
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return state;
  state.exists = true;
  state.owner = info.st_uid;
  state.mode = info.st_mode & 07777;
  if (S_ISREG(info.st_mode)) state.bytes = readFile(path);
  return state;
}

}  // namespace wendtest
