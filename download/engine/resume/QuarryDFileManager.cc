#include "download/engine/resume/QuarryDFileManager.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "download/engine/common/EngineLog.h"
#include "download/engine/files/EngineFileSystem.h"

namespace gde {
namespace {

constexpr const char* kComponent = "QuarryDFileManager";
constexpr const char* kHeadersOpen = "<headers>";
constexpr const char* kHeadersClose = "</headers>";
constexpr const char* kEntryStart = "@START@";
constexpr const char* kEntryEnd = "@END@";
constexpr const char* kSeparator = "{|}";

// A record is "%20lu\n": optional leading spaces, 1 to 20 digits, a line feed.
bool parseRecord(const char* record, uint64_t& value) {
  size_t first = 0;
  while (first < QuarryDFileManager::kRecordLength - 1 && record[first] == ' ') ++first;
  const size_t digits = QuarryDFileManager::kRecordLength - 1 - first;
  return digits > 0 && record[QuarryDFileManager::kRecordLength - 1] == '\n' &&
         parseDecimalU64(record + first, digits, value);
}

// A slot never written holds zero bytes, except that slot 0 may still hold the line feed that
// follows the magic.
bool isUnwrittenRecord(const char* record) {
  return record[0] == '\0' || (record[0] == '\n' && record[1] == '\0');
}

// The entries between "<headers>" and "</headers>"; false when either marker is missing or they
// come in the wrong order.
bool parseHeadersBlock(const std::string& text, std::map<std::string, std::string>& headers) {
  const size_t open = text.find(kHeadersOpen);
  const size_t close = text.find(kHeadersClose);
  if (open == std::string::npos || close == std::string::npos || close < open) return false;
  const size_t bodyStart = open + std::strlen(kHeadersOpen);
  std::string rest = close > bodyStart ? text.substr(bodyStart, close - bodyStart) : std::string();
  for (;;) {
    const size_t start = rest.find(kEntryStart);
    const size_t end = rest.find(kEntryEnd);
    if (start == std::string::npos || end == std::string::npos || start > end) return true;
    const size_t entryStart = start + std::strlen(kEntryStart);
    const std::string entry = end > entryStart ? rest.substr(entryStart, end - entryStart) : "";
    const size_t separator = entry.find(kSeparator);
    if (separator != std::string::npos) {
      headers[entry.substr(0, separator)] = entry.substr(separator + std::strlen(kSeparator));
    }
    rest = rest.substr(end + std::strlen(kEntryEnd));
  }
}

}  // namespace

QuarryDFileManager::QuarryDFileManager(FileHandleSettings settings, const DiskSpaceProbe& probe)
    : file_(settings, probe) {}

QuarryDFileManager::~QuarryDFileManager() {
  close();
}

uint64_t QuarryDFileManager::recordOffset(uint32_t segmentIndex) {
  return kMagicLength + kRecordLength * static_cast<uint64_t>(segmentIndex);
}

uint64_t QuarryDFileManager::headersOffset(uint32_t lastSegmentIndex) {
  return recordOffset(lastSegmentIndex) + kRecordLength;
}

bool QuarryDFileManager::open(const std::string& path, const StoppableWait& wait) {
  if (isOpen_) return true;
  if (!file_.open(path, wait)) {
    copyFileError();
    engineLog(pando::kLogError, kComponent, "Failed to initialize the quarryd file");
    return false;
  }
  path_ = path;
  isOpen_ = true;
  return true;
}

void QuarryDFileManager::close() {
  if (!isOpen_) return;
  file_.close();
  isOpen_ = false;
}

bool QuarryDFileManager::writeMagic() {
  if (!isOpen_) {
    engineLog(pando::kLogWarn, kComponent,
              "writeQuarryDMetaInfoString: unintialized. Invalid params");
    return false;
  }
  const std::string line = std::string(kMagic) + "\n";
  if (file_.writeAt(0, line.data(), line.size())) return true;
  copyFileError();
  return false;
}

bool QuarryDFileManager::checkMagic() {
  if (!isOpen_) {
    engineLog(pando::kLogWarn, kComponent, "QuarryDFileManager: unintialized. Invalid params");
    return false;
  }
  char magic[kMagicLength] = {};
  if (!file_.readAt(0, magic, sizeof magic)) {
    copyFileError();
    return false;
  }
  // The first whitespace-delimited word of the 18 bytes must be the magic.
  const std::string text(magic, sizeof magic);
  const size_t first = text.find_first_not_of(" \t\n\r\v\f");
  if (first == std::string::npos) return false;
  const size_t last = text.find_first_of(std::string(" \t\n\r\v\f\0", 7), first);
  return text.substr(first, last == std::string::npos ? std::string::npos : last - first) == kMagic;
}

bool QuarryDFileManager::writeSegmentProgress(uint32_t segmentIndex, uint32_t bytesWritten) {
  if (!isOpen_) {
    engineLog(pando::kLogInfo, kComponent, "QuarryDFileManager: unintialized. Invalid params");
    return false;
  }
  char record[kRecordLength + 1];
  std::snprintf(record, sizeof record, "%20lu\n", static_cast<unsigned long>(bytesWritten));
  if (file_.writeAt(recordOffset(segmentIndex), record, kRecordLength)) return true;
  copyFileError();
  return false;
}

bool QuarryDFileManager::readSegmentProgress(uint32_t segmentIndex, uint32_t segmentLength,
                                             uint32_t& bytesWritten) {
  bytesWritten = 0;
  if (!isOpen_) {
    engineLog(pando::kLogWarn, kComponent,
              "quarryd file manager is not initialized. Hence invalid parameters");
    return false;
  }
  char record[kRecordLength + 1] = {};
  uint64_t size = 0;
  const uint64_t offset = recordOffset(segmentIndex);
  if (!file_.getSize(size) || offset + kRecordLength > size ||
      !file_.readAt(offset, record, kRecordLength) || isUnwrittenRecord(record)) {
    return true;  // never written: nothing of the segment is kept
  }
  uint64_t value = 0;
  if (!parseRecord(record, value) || value > segmentLength) {
    engineLog(pando::kLogWarn, kComponent,
              "quarryd record of segment %u is damaged or larger than the segment (%u bytes)",
              segmentIndex, segmentLength);
    return false;
  }
  bytesWritten = static_cast<uint32_t>(value);
  return true;
}

bool QuarryDFileManager::writeHeaders(const std::map<std::string, std::string>& headers,
                                      uint32_t lastSegmentIndex) {
  if (!isOpen_) {
    engineLog(pando::kLogWarn, kComponent, "writeQuarryDMetaInfoString: unintialized.");
    return false;
  }
  std::string block = kHeadersOpen;
  for (const auto& [key, value] : headers) {
    block += std::string(kEntryStart) + key + kSeparator + value + kEntryEnd;
  }
  block += kHeadersClose;
  if (file_.writeAt(headersOffset(lastSegmentIndex), block.data(), block.size())) return true;
  copyFileError();
  return false;
}

bool QuarryDFileManager::readHeaders(std::map<std::string, std::string>& headers,
                                     uint32_t lastSegmentIndex) {
  if (!isOpen_) {
    engineLog(pando::kLogWarn, kComponent, "QuarryDFileManager: unintialized. Invalid params");
    return false;
  }
  const uint64_t blockOffset = headersOffset(lastSegmentIndex);
  uint64_t size = 0;
  if (!file_.getSize(size)) {
    copyFileError();
    return false;
  }
  if (size <= blockOffset || size - blockOffset > kMaxHeadersBytes) {
    engineLog(pando::kLogWarn, kComponent, "header xml is malformed.");
    return false;
  }
  std::string text;
  if (!file_.readToEnd(text, blockOffset, kMaxHeadersBytes)) {
    copyFileError();
    return false;
  }
  // The block must sit right after the last record; the records never hold a '<'.
  text.resize(std::strlen(text.c_str()));
  if (!text.starts_with(kHeadersOpen) || !parseHeadersBlock(text, headers)) {
    engineLog(pando::kLogWarn, kComponent, "header xml is malformed.");
    return false;
  }
  return true;
}

bool QuarryDFileManager::deleteMetaFile() {
  close();
  return path_.empty() || deleteAtPath();
}

bool QuarryDFileManager::recreate() {
  close();
  if (!deleteAtPath()) return false;
  int error = 0;
  if (!createLocalFile(path_, error)) {
    setError(EngineErrorRecord{ERROR_FILE_SYSTEM, error, 0, std::strerror(error), 0, path_});
    return false;
  }
  return open(path_);
}

bool QuarryDFileManager::deleteAtPath() {
  int error = 0;
  if (deleteFile(path_, error)) return true;
  setError(EngineErrorRecord{ERROR_FILE_SYSTEM, error, 0, "Failed to delete the file meta file.", 0,
                             path_});
  return false;
}

void QuarryDFileManager::copyFileError() {
  setError(file_.getError());
}

void QuarryDFileManager::setError(const EngineErrorRecord& error) {
  std::lock_guard<std::mutex> guard(errorMutex_);
  error_ = error;
}

EngineErrorRecord QuarryDFileManager::getError() const {
  std::lock_guard<std::mutex> guard(errorMutex_);
  return error_;
}

}  // namespace gde
