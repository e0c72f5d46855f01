#include "download/engine/resume/ResumeHeaders.h"

#include <cstdlib>

#include "download/engine/common/EngineLog.h"

namespace gde {

namespace {

constexpr const char* kComponent = "DownloadGlobalData";

std::string valueOf(const ResumeHeaders::Map& map, const char* key) {
  auto found = map.find(key);
  return found == map.end() ? std::string() : found->second;
}

// Numbers compare by value so that "0" and a missing key agree.
bool sameNumber(const ResumeHeaders::Map& a, const ResumeHeaders::Map& b, const char* key) {
  return std::strtoull(valueOf(a, key).c_str(), nullptr, 10) ==
         std::strtoull(valueOf(b, key).c_str(), nullptr, 10);
}

}  // namespace

ResumeHeaders::Map ResumeHeaders::build(uint64_t fileSize, uint32_t segmentSize,
                                        const std::string& etag, const std::string& serverPath,
                                        uint64_t rangeStart, uint64_t rangeByteCount) {
  return Map{{"FILE_SIZE", std::to_string(fileSize)},
             {"SEGMENT_SIZE", std::to_string(segmentSize)},
             {"ETAG", etag},
             {"SERVER_PATH", serverPath},
             {"DOWNLOAD_START_ADDRESS", std::to_string(rangeStart)},
             {"NO_Of_BYTES_TO_DOWNLOAD", std::to_string(rangeByteCount)}};
}

bool ResumeHeaders::match(const Map& stored, const Map& current) {
  const char* reason = nullptr;
  if (valueOf(stored, "ETAG") != valueOf(current, "ETAG") ||
      valueOf(stored, "SERVER_PATH") != valueOf(current, "SERVER_PATH")) {
    reason =
        "Either ETAG value or server URL is changed from the last download. Hence download "
        "will resume from start again";
  } else if (!sameNumber(stored, current, "FILE_SIZE")) {
    reason = "File size has changed. Restarting the download";
  } else if (!sameNumber(stored, current, "SEGMENT_SIZE")) {
    reason = "segment size has changed. Restarting the download";
  } else if (!sameNumber(stored, current, "NO_Of_BYTES_TO_DOWNLOAD")) {
    reason = "NoOfBytesToDownload has changed. Restarting the download";
  } else if (!sameNumber(stored, current, "DOWNLOAD_START_ADDRESS")) {
    reason = "start address of downloading has changed now. Restarting the download";
  }
  if (!reason) return true;
  engineLog(pando::kLogInfo, kComponent, "%s", reason);
  return false;
}

}  // namespace gde
