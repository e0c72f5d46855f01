#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "download/engine/errors/EngineErrorRecord.h"
#include "download/engine/files/DownloadFileHandle.h"

namespace gde {

// The resume meta file beside a partial download (partial path + ".quarryd"):
//   offset 0:               "Orvel_Download_001" (18 bytes)
//   18 + 21 * i, i = 0..n:  bytes of segment i already written, "%20lu\n" (zero bytes: never)
//   18 + 21 * (n + 1):      "<headers>" {"@START@" key "{|}" value "@END@"} "</headers>"
// where n is the index of the last segment slot. Every number in the file is ASCII.
//
// Every operation returns a success flag; the detail of a file failure is in getError. A damaged
// file (bad magic, headers missing, malformed or out of place, larger than its records plus
// kMaxHeadersBytes, or a record larger than its segment) is refused: the owner then deletes it and
// starts the download over. No lock of its own: each read and write is one locked transfer of the
// file handle, so the serializer may write records while the owner reads.
class QuarryDFileManager {
 public:
  static constexpr const char* kMagic = "Orvel_Download_001";
  static constexpr uint64_t kMagicLength = 18;
  static constexpr uint64_t kRecordLength = 21;
  static constexpr uint64_t kMaxHeadersBytes = 64 * 1024;

  explicit QuarryDFileManager(FileHandleSettings settings = {},
                              const DiskSpaceProbe& probe = systemDiskSpaceProbe());
  ~QuarryDFileManager();
  QuarryDFileManager(const QuarryDFileManager&) = delete;
  QuarryDFileManager& operator=(const QuarryDFileManager&) = delete;

  static uint64_t recordOffset(uint32_t segmentIndex);
  static uint64_t headersOffset(uint32_t lastSegmentIndex);

  // `wait` as for DownloadFileHandle::open.
  bool open(const std::string& path, const StoppableWait& wait = {});
  void close();
  bool isOpen() const { return isOpen_; }

  bool writeMagic();
  bool checkMagic();
  bool writeSegmentProgress(uint32_t segmentIndex, uint32_t bytesWritten);
  // A slot never written, or beyond the end of the file, reads 0. False when the record is not a
  // number or holds more than `segmentLength` bytes.
  bool readSegmentProgress(uint32_t segmentIndex, uint32_t segmentLength, uint32_t& bytesWritten);
  // Keys in ascending byte order, written as they are.
  bool writeHeaders(const std::map<std::string, std::string>& headers, uint32_t lastSegmentIndex);
  // False when the file is damaged (see above); entries without "{|}" are skipped, a later equal
  // key wins.
  bool readHeaders(std::map<std::string, std::string>& headers, uint32_t lastSegmentIndex);

  bool deleteMetaFile();
  // Deletes the file, creates it empty and opens it.
  bool recreate();

  EngineErrorRecord getError() const;

 private:
  bool deleteAtPath();
  void copyFileError();
  void setError(const EngineErrorRecord& error);

  DownloadFileHandle file_;
  std::atomic<bool> isOpen_{false};
  std::string path_;  // set by open and recreate, which only the owner calls
  mutable std::mutex errorMutex_;
  EngineErrorRecord error_;  // guarded by errorMutex_
};

}  // namespace gde
