#pragma once

#include <cstddef>
#include <string>

#include "platform/UniqueFd.h"

namespace pando {

// A log file held open for appending. Every line goes out in one write on an O_APPEND descriptor,
// so lines of several processes never mix inside a line. One owner; not thread-safe.
class LogFile {
 public:
  LogFile() = default;
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;
  ~LogFile() = default;

  // Closes any open file, then opens `path` for appending. A missing file is created with mode
  // 0666 (set through the descriptor, so the umask does not cut it): the user's process and its
  // elevated copy share the file. Refuses a link at `path` and anything but a regular file.
  bool open(const std::string& path);
  void close();
  bool isOpen() const { return fd_.valid(); }
  bool append(const std::string& text);

 private:
  platform::UniqueFd fd_;
};

// Writes all of `data` to `fd`, going on after short writes and interrupts.
bool writeWhole(int fd, const char* data, size_t size);

}  // namespace pando
