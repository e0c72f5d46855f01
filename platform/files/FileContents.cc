#include "platform/files/FileContents.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/UniqueFd.h"

namespace platform {
namespace {

std::string tooLarge(size_t maxBytes) {
  return "the file is larger than " + std::to_string(maxBytes) + " bytes";
}

}  // namespace

bool readRegularFile(const std::string& path, size_t maxBytes, std::string& bytes,
                     std::string& error, LastLink lastLink) {
  // Non-blocking so that opening a pipe planted at the path cannot hang the caller.
  UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK |
                                       (lastLink == LastLink::kRefuse ? O_NOFOLLOW : 0)));
  struct stat status {};
  if (!file.valid() || fstat(file.get(), &status) != 0) {
    error = std::strerror(errno);
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    error = "not a regular file";
    return false;
  }
  if (static_cast<unsigned long long>(status.st_size) > maxBytes) {
    error = tooLarge(maxBytes);
    return false;
  }
  std::string content;
  content.reserve(static_cast<size_t>(status.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t count = read(file.get(), buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      error = std::strerror(errno);
      return false;
    }
    if (count == 0) break;
    if (static_cast<size_t>(count) > maxBytes - content.size()) {
      error = tooLarge(maxBytes);
      return false;
    }
    content.append(buffer, static_cast<size_t>(count));
  }
  bytes = std::move(content);
  return true;
}

bool readFullyAt(int fd, uint64_t offset, void* data, size_t size) {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t got = pread(fd, bytes, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    bytes += got;
    offset += static_cast<uint64_t>(got);
    size -= static_cast<size_t>(got);
  }
  return true;
}

}  // namespace platform
