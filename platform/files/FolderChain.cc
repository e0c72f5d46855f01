#include "platform/files/FolderChain.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <sstream>
#include <vector>

#include "platform/UniqueFd.h"

namespace platform {
namespace {

struct Owner {
  uid_t uid;
  gid_t gid;
};

std::vector<std::string> splitChain(const std::string& chain) {
  std::vector<std::string> parts;
  std::stringstream stream(chain);
  for (std::string part; std::getline(stream, part, '/');) parts.push_back(part);
  return parts;
}

// With an owner the new folder is handed over and given `mode` exactly; ownership first, since
// fchown may clear mode bits. Without one it stays as mkdirat made it.
bool settle(int folder, const std::optional<Owner>& owner, mode_t mode) {
  if (!owner) return true;
  if (geteuid() == 0 && fchown(folder, owner->uid, owner->gid) != 0) return false;
  return fchmod(folder, mode) == 0;
}

UniqueFd walk(const std::string& base, const std::string& chain, const std::optional<Owner>& owner,
              mode_t mode) {
  UniqueFd dir(open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.valid()) return dir;
  for (const std::string& part : splitChain(chain)) {
    if (part.empty() || part == "." || part == "..") return errno = EINVAL, UniqueFd();
    bool created = mkdirat(dir.get(), part.c_str(), mode) == 0;
    if (!created && errno != EEXIST) return UniqueFd();
    UniqueFd child(
        openat(dir.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!child.valid()) return child;
    dir = std::move(child);
    if (created && !settle(dir.get(), owner, mode)) return UniqueFd();
  }
  return dir;
}

}  // namespace

bool createFoldersFor(const std::string& base, const std::string& chain, uid_t uid, gid_t gid,
                      mode_t mode) {
  return walk(base, chain, Owner{uid, gid}, mode).valid();
}

UniqueFd openFoldersFor(const std::string& base, const std::string& chain, uid_t uid, gid_t gid,
                        mode_t mode) {
  return walk(base, chain, Owner{uid, gid}, mode);
}

bool createFolders(const std::string& base, const std::string& chain, mode_t mode) {
  return walk(base, chain, std::nullopt, mode).valid();
}

UniqueFd openFolderChain(const std::string& base, const std::string& chain) {
  UniqueFd dir(open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  for (const std::string& part : splitChain(chain)) {
    if (!dir.valid() || part.empty() || part == "." || part == "..") return UniqueFd();
    dir =
        UniqueFd(openat(dir.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  return dir;
}

std::string pathInOpenFolder(int folderFd, const std::string& name) {
  // Linux names every open descriptor's file under /proc/self/fd.
  return "/proc/self/fd/" + std::to_string(folderFd) + "/" + name;
}

}  // namespace platform
