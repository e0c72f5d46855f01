#include "core/context/TreeComparison.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/UniqueFd.h"

namespace {

constexpr int kDepthLimit = 64;

struct DirClose {
  void operator()(DIR* dir) const { closedir(dir); }
};

bool entryNames(const std::string& folder, std::vector<std::string>& names) {
  std::unique_ptr<DIR, DirClose> dir(opendir(folder.c_str()));
  if (!dir) return false;
  while (const dirent* entry = readdir(dir.get())) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      names.emplace_back(entry->d_name);
    }
  }
  std::sort(names.begin(), names.end());
  return true;
}

ssize_t readSome(int fd, char* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t got = read(fd, buffer + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<ssize_t>(done);
}

bool sameBytes(const std::string& first, const std::string& second) {
  // Non-blocking: a pipe swapped in after the type check must not hang the comparison.
  constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  platform::UniqueFd a(open(first.c_str(), kFlags));
  platform::UniqueFd b(open(second.c_str(), kFlags));
  if (!a.valid() || !b.valid()) return false;
  std::vector<char> bufferA(1 << 16), bufferB(1 << 16);
  for (;;) {
    ssize_t gotA = readSome(a.get(), bufferA.data(), bufferA.size());
    ssize_t gotB = readSome(b.get(), bufferB.data(), bufferB.size());
    if (gotA < 0 || gotA != gotB) return false;
    if (gotA == 0) return true;
    if (std::memcmp(bufferA.data(), bufferB.data(), static_cast<size_t>(gotA)) != 0) return false;
  }
}

bool sameLinkTarget(const std::string& first, const std::string& second) {
  char a[PATH_MAX], b[PATH_MAX];
  ssize_t lengthA = readlink(first.c_str(), a, sizeof a);
  ssize_t lengthB = readlink(second.c_str(), b, sizeof b);
  return lengthA >= 0 && lengthA == lengthB && std::memcmp(a, b, static_cast<size_t>(lengthA)) == 0;
}

bool sameTree(const std::string& first, const std::string& second, int depth) {
  struct stat a, b;
  if (depth > kDepthLimit || lstat(first.c_str(), &a) != 0 || lstat(second.c_str(), &b) != 0 ||
      (a.st_mode & S_IFMT) != (b.st_mode & S_IFMT)) {
    return false;
  }
  if (S_ISREG(a.st_mode)) return a.st_size == b.st_size && sameBytes(first, second);
  if (S_ISLNK(a.st_mode)) return sameLinkTarget(first, second);
  if (!S_ISDIR(a.st_mode)) return true;  // devices, pipes and sockets: the type is all there is
  std::vector<std::string> namesA, namesB;
  if (!entryNames(first, namesA) || !entryNames(second, namesB) || namesA != namesB) return false;
  for (const std::string& name : namesA) {
    if (!sameTree(first + "/" + name, second + "/" + name, depth + 1)) return false;
  }
  return true;
}

}  // namespace

bool contentsEqualAtPath(const std::string& first, const std::string& second) {
  return sameTree(first, second, 0);
}
