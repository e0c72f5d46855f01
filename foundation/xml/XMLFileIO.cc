#include "foundation/xml/XMLFileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace XMLFileIO {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  // Closes now so that a failing close can be reported.
  bool closeChecked() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

std::string errnoText() {
  return strerror(errno);
}

bool writeAll(int fd, const std::string& bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t count = write(fd, bytes.data() + written, bytes.size() - written);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    written += static_cast<size_t>(count);
  }
  return true;
}

mode_t modeForReplacement(const std::string& path) {
  struct stat existing {};
  if (lstat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    return existing.st_mode & 07777;
  }
  return 0644;
}

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The rename is durable only once the folder's entry is on disk too.
void flushFolderOf(const std::string& path) {
  FileDescriptor folder(open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() >= 0) fsync(folder.get());
}

}  // namespace

bool readWholeFile(const std::string& path, size_t maxBytes, std::string& bytes,
                   std::string& error) {
  // Non-blocking so that opening a pipe planted at the path cannot hang the caller.
  FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
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
  if (path.empty()) return false;
  std::string temporary = path + ".XXXXXX";
  FileDescriptor file(mkostemp(temporary.data(), O_CLOEXEC));
  if (file.get() < 0) return false;
  const bool written = writeAll(file.get(), bytes) &&
                       fchmod(file.get(), modeForReplacement(path)) == 0 &&
                       fsync(file.get()) == 0 && file.closeChecked();
  if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  flushFolderOf(path);
  return true;
}

}  // namespace XMLFileIO
