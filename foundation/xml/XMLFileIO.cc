#include "foundation/xml/XMLFileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/AtomicFile.h"
#include "platform/UniqueFd.h"

namespace XMLFileIO {
namespace {

using platform::UniqueFd;

std::string errnoText() {
  return strerror(errno);
}

}  // namespace

bool readWholeFile(const std::string& path, size_t maxBytes, std::string& bytes,
                   std::string& error) {
  // Non-blocking so that opening a pipe planted at the path cannot hang the caller.
  UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat status {};
  if (file.get() < 0 || fstat(file.get(), &status) != 0) {
    error = errnoText();
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    error = "not a regular file";
    return false;
  }
  if (static_cast<unsigned long long>(status.st_size) > maxBytes) {
    error = "the file is larger than " + std::to_string(maxBytes) + " bytes";
    return false;
  }
  std::string content;
  content.reserve(static_cast<size_t>(status.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t count = read(file.get(), buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      error = errnoText();
      return false;
    }
    if (count == 0) break;
    if (content.size() + static_cast<size_t>(count) > maxBytes) {
      error = "the file is larger than " + std::to_string(maxBytes) + " bytes";
      return false;
    }
    content.append(buffer, static_cast<size_t>(count));
  }
  bytes = std::move(content);
  return true;
}

bool replaceFileAtomically(const std::string& path, const std::string& bytes) {
  return platform::replaceFileAtomically(path, bytes,
                                         platform::AtomicFileMode::kKeepReplacedElse0644);
}

}  // namespace XMLFileIO
