#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "download/engine/common/CriticalSection.h"
#include "download/engine/errors/EngineErrorRecord.h"
#include "download/engine/files/DiskSpaceProbe.h"

namespace gde {

struct FileHandleSettings {
  // Wait between the two attempts of open.
  std::chrono::milliseconds openRetryWait{500};
};

// Sleeps for `duration` unless the owner stops first; true when it stopped.
using StoppableWait = std::function<bool(std::chrono::nanoseconds duration)>;

// A locked, positioned read/write handle on one existing file (the partial download or the resume
// meta file). Any thread may call any operation: each one runs whole under the handle's lock, so
// two transfers never interleave. A failure leaves an EngineErrorRecord of type ERROR_FILE_SYSTEM
// whose code is kFileErrorDiskFull or kFileErrorOther; it stays until the next failure.
class DownloadFileHandle {
 public:
  explicit DownloadFileHandle(FileHandleSettings settings = {},
                              const DiskSpaceProbe& probe = systemDiskSpaceProbe());
  ~DownloadFileHandle();
  DownloadFileHandle(const DownloadFileHandle&) = delete;
  DownloadFileHandle& operator=(const DownloadFileHandle&) = delete;

  // Opens the existing file for update, trying twice openRetryWait apart; the wait between is
  // made through `wait` (a plain wait when empty), and a stop it reports ends the open as failed.
  // True at once when this handle is already open. Links are not followed.
  bool open(const std::string& path, const StoppableWait& wait = {});
  bool close();
  bool isOpen();
  std::string path();

  // writeAt with the failure message "Failed to write the segment in the file which is to be
  // downloaded".
  bool writeSegment(uint64_t offset, const void* bytes, size_t length);
  bool writeAt(uint64_t offset, const void* bytes, size_t length);
  // Fails unless all `length` bytes could be read.
  bool readAt(uint64_t offset, void* buffer, size_t length);
  // Everything from `offset` to the end of the file. Fails, without reading, when that is more
  // than `maxLength` bytes. out.c_str() is the data followed by a zero byte.
  bool readToEnd(std::string& out, uint64_t offset, uint64_t maxLength);
  bool getSize(uint64_t& size);
  // True when bytes offset .. offset + length - 1 hold a hole (never written, or reserved and
  // not written yet) or lie past the end. False where the file system cannot tell holes.
  bool holeWithin(uint64_t offset, uint64_t length);

  EngineErrorRecord getError();

 private:
  bool openOnce(const std::string& path);
  bool requireOpen();
  void recordSystemError(int systemError, const std::string& message);

  const FileHandleSettings settings_;
  const DiskSpaceProbe& probe_;
  CriticalSection lock_;
  int fd_ = -1;              // guarded by lock_
  std::string path_;         // guarded by lock_
  EngineErrorRecord error_;  // guarded by lock_
};

}  // namespace gde
