#include "download/pdm/documents/ValidatorBase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "download/pdm/common/PDMLogger.h"
#include "download/pdm/documents/DocumentText.h"
#include "foundation/xml/XMLParser.h"
#include "platform/UniqueFd.h"

namespace orvel::PackageDownloadManager {
namespace {

constexpr const char* kTag = "Validator";

// Opens a regular file for reading without following a final link; logs the failure.
platform::UniqueFd openDataFile(const std::string& path, uint64_t& size) {
  // Non-blocking, so that a pipe planted at the path fails the type check instead of hanging.
  platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat info;
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    pdmLog(pando::kLogWarn, kTag, "Data file could not be opened at path %s", path.c_str());
    return platform::UniqueFd();
  }
  size = static_cast<uint64_t>(info.st_size);
  return fd;
}

bool readFully(int fd, uint8_t* buffer, uint32_t length) {
  uint32_t done = 0;
  while (done < length) {
    const ssize_t got = ::read(fd, buffer + done, length - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<uint32_t>(got);
  }
  return true;
}

// A required positive number; 0 after logging `missing`, or the invalid text between `before`
// and `after` (just `before` when `after` is null).
uint32_t requiredNumber(const XMLParser& parser, const char* query, const char* missing,
                        const char* before, const char* after) {
  std::string text;
  if (!parser.stringValueForXQuery(query, text)) {
    pdmLog(pando::kLogWarn, kTag, "%s", missing);
    return 0;
  }
  const uint32_t value = leadingNumber32(text);
  if (value != 0) return value;
  if (after == nullptr) {
    pdmLog(pando::kLogWarn, kTag, "%s", before);
  } else {
    pdmLog(pando::kLogWarn, kTag, "%s%s%s", before, text.c_str(), after);
  }
  return 0;
}

}  // namespace

template <typename Block>
bool ValidatorBase::forEachSegment(int fd, uint64_t fileSize, uint32_t segmentSize,
                                   Block block) const {
  // Never more than the file: a small file under a large segment size stays a small read.
  const auto bufferSize = static_cast<uint32_t>(std::min<uint64_t>(segmentSize, fileSize));
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[std::max<uint32_t>(bufferSize, 1)]);
  uint32_t index = 0;
  for (uint64_t offset = 0; offset < fileSize; offset += segmentSize, ++index) {
    const auto length = static_cast<uint32_t>(std::min<uint64_t>(segmentSize, fileSize - offset));
    if (!readFully(fd, buffer.get(), length) || !block(buffer.get(), length, index)) return false;
  }
  return true;
}

bool ValidatorBase::initFromXML(const std::string& validationPath) {
  XMLParser parser(PDMLogger::instance().getLogger());
  if (!parser.initWithXMLPath(validationPath)) {
    pdmLog(pando::kLogWarn, kTag, "Signature file could not be initialized");
    return false;
  }
  segmentSize_ =
      requiredNumber(parser, "//validationInfo/segmentSize", "Segment size not specified",
                     "Invalid segment size (", ") specified");
  if (segmentSize_ == 0) return false;
  lastSegmentSize_ =
      requiredNumber(parser, "//validationInfo/lastSegmentSize", "Last segment size not specified",
                     "Invalid Last segment size (", ") specified");
  if (lastSegmentSize_ == 0) return false;
  if (lastSegmentSize_ > segmentSize_) {
    pdmLog(pando::kLogWarn, kTag, "Last segment size is more than segment size");
    return false;
  }
  segmentCount_ =
      requiredNumber(parser, "//validationInfo/segmentCount", "Segment count not specified",
                     "Segment count is invalid", nullptr);
  if (segmentCount_ == 0) return false;
  int count = 0;
  XMLNodeList nodes = parser.getNodeListForXQuery("//validationInfo/segments/segment", &count);
  if (nodes == nullptr || static_cast<uint32_t>(count) != segmentCount_) {
    pdmLog(pando::kLogWarn, kTag, "Segment count mismatch in the validation information");
    return false;
  }
  segmentHashes_.clear();
  for (int i = 0; i < count; ++i) {
    XMLNode node = parser.getNodeAtIndexFromNodeList(nodes, i);
    const auto attributes = parser.getAttributeMapFromNode(node);
    const auto number = attributes.find("segmentNumber");
    if (number == attributes.end()) continue;
    const uint32_t n = leadingNumber32(number->second);
    if (n == 0) continue;
    const auto own = parser.getMapOfNode(node);
    segmentHashes_[n - 1] = own.empty() ? std::string() : own.begin()->second;
  }
  return true;
}

bool ValidatorBase::validateSegment(const uint8_t* bytes, uint32_t length, uint32_t index) const {
  const auto stored = segmentHashes_.find(index);
  if (stored == segmentHashes_.end()) return false;
  std::string computed;
  if (!getHashString(bytes, length, computed)) return false;
  return computed == stored->second;
}

uint64_t ValidatorBase::getFileSize() const {
  if (segmentCount_ == 0) return 0;
  return static_cast<uint64_t>(segmentCount_ - 1) * segmentSize_ + lastSegmentSize_;
}

bool ValidatorBase::validateWholeFile(const std::string& path) const {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0 || segmentSize_ == 0) return false;
  if (static_cast<uint64_t>(info.st_size) != getFileSize()) return false;
  uint64_t size = 0;
  platform::UniqueFd fd = openDataFile(path, size);
  if (!fd.valid() || size != getFileSize()) return false;
  return forEachSegment(fd.get(), size, segmentSize_,
                        [this](const uint8_t* block, uint32_t length, uint32_t index) {
                          return validateSegment(block, length, index);
                        });
}

bool ValidatorBase::getHashValueInHex(const uint8_t* digest, uint32_t length, char* buffer,
                                      uint32_t size) const {
  static constexpr char kDigits[] = "0123456789abcdef";
  if (digest == nullptr || buffer == nullptr || size < 2ull * length + 1) return false;
  for (uint32_t i = 0; i < length; ++i) {
    buffer[2 * i] = kDigits[digest[i] >> 4];
    buffer[2 * i + 1] = kDigits[digest[i] & 0x0f];
  }
  buffer[2 * length] = '\0';
  return true;
}

bool ValidatorBase::createValidationFile(const std::string& dataPath,
                                         const std::string& validationPath, uint32_t segmentSize) {
  uint64_t size = 0;
  platform::UniqueFd fd = openDataFile(dataPath, size);
  if (!fd.valid() || segmentSize == 0) return false;
  segmentHashes_.clear();
  segmentSize_ = segmentSize;
  const bool hashed = forEachSegment(fd.get(), size, segmentSize,
                                     [this](const uint8_t* block, uint32_t length, uint32_t index) {
                                       lastSegmentSize_ = length;
                                       return getHashString(block, length, segmentHashes_[index]);
                                     });
  segmentCount_ = static_cast<uint32_t>(segmentHashes_.size());
  return hashed && writeValidationXML(validationPath);
}

bool ValidatorBase::writeValidationXML(const std::string& validationPath) const {
  XMLParser document(PDMLogger::instance().getLogger());
  XMLNode root = nullptr;
  if (!document.initWithXMLString("<validationInfo/>") || !document.getRootNode(root)) return false;
  XMLNode segments = nullptr;
  const bool filled =
      document.addChildToNode("segmentSize", std::to_string(segmentSize_), root) &&
      document.addChildToNode("version", "1.0", root) &&
      document.addChildToNode("algorithm", algorithm_, root) &&
      document.addChildToNode("segmentCount", std::to_string(segmentHashes_.size()), root) &&
      document.addChildToNode("lastSegmentSize", std::to_string(lastSegmentSize_), root) &&
      document.addChildToNode("segments", "", root, segments);
  if (!filled) return false;
  for (const auto& [index, digest] : segmentHashes_) {
    XMLNode segment = nullptr;
    if (!document.addChildToNode("segment", digest, segments, segment) ||
        !document.addAttributeToNode(segment, "segmentNumber", std::to_string(index + 1ull))) {
      return false;
    }
  }
  return document.writeXMLToPath(validationPath);
}

}  // namespace orvel::PackageDownloadManager
