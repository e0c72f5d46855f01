#include "tools/codesign/FileBytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/UniqueFd.h"

namespace codesign {

bool readWholeFile(const std::string& path, std::string& bytes) {
  platform::UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat info;
  if (!fd.valid() || fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<uint64_t>(info.st_size) > kMaximumFileSize) {
    return false;
  }
  bytes.assign(static_cast<size_t>(info.st_size), '\0');
  size_t filled = 0;
  while (filled < bytes.size()) {
    ssize_t got = read(fd.get(), bytes.data() + filled, bytes.size() - filled);
    if (got <= 0) return false;
    filled += static_cast<size_t>(got);
  }
  return true;
}

bool writeWholeFile(const std::string& path, const std::string& bytes) {
  platform::UniqueFd fd(open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW));
  size_t written = 0;
  while (fd.valid() && written < bytes.size()) {
    ssize_t put = write(fd.get(), bytes.data() + written, bytes.size() - written);
    if (put <= 0) return false;
    written += static_cast<size_t>(put);
  }
  return fd.valid();
}

}  // namespace codesign
