#include "services/analytics/WorkflowIdFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>

#include "foundation/text/StringUtils.h"
#include "platform/system/ConsoleUser.h"
#include "platform/system/SpecialFolders.h"

namespace {

constexpr int kPandoFolder = 22;  // the user data folder + "/Orvel/PANDO"
constexpr size_t kMaxIdBytes = 128;

const char* fileName(int kind) {
  switch (kind) {
    case 1:
      return "temp_lbs_wid";
    case 2:
      return "temp_ins_lbs_wid";
    default:
      return nullptr;
  }
}

std::string trimmed(std::string text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  return text;
}

// The file's UUID, or a fresh one written in place of whatever it held.
bool readOrReplace(int fd, std::string& id) {
  char buffer[kMaxIdBytes];
  const ssize_t got = pread(fd, buffer, sizeof buffer, 0);
  if (got < 0) return false;
  const std::string stored = trimmed(std::string(buffer, static_cast<size_t>(got)));
  if (isUuidText(stored)) {
    id = stored;
    return true;
  }
  std::string fresh;
  if (!StringUtils::utilCreateUUIDString(fresh) || ftruncate(fd, 0) != 0 ||
      pwrite(fd, fresh.data(), fresh.size(), 0) != static_cast<ssize_t>(fresh.size())) {
    return false;
  }
  id = fresh;
  return true;
}

}  // namespace

bool isUuidText(const std::string& text) {
  if (text.size() != 36) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

bool readWorkflowId(int kind, std::string& id) {
  const char* name = fileName(kind);
  platform::ConsoleUser user;
  std::string path;
  if (name == nullptr || !platform::findConsoleUser(user)) return false;
  // The user's own tree: the folder is reached by descriptor, never through a link they planted.
  const platform::UniqueFd folder = platform::openSpecialFolder(kPandoFolder, "", path);
  if (!folder.valid()) return false;
  const int fd = openat(folder.get(), name, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && flock(fd, LOCK_EX) == 0;
  if (ok && geteuid() == 0 && info.st_uid != user.uid) ok = fchown(fd, user.uid, user.gid) == 0;
  ok = ok && readOrReplace(fd, id);
  close(fd);
  return ok;
}
