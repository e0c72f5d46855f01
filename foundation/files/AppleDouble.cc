#include "foundation/files/AppleDouble.h"

#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "foundation/files/UnzipSettings.h"
#include "foundation/logging/UtilsLog.h"
#include "platform/files/ByteOrder.h"
#include "platform/files/FileContents.h"

namespace files {
namespace {

constexpr uint32_t kMagic = 0x00051607;
constexpr uint32_t kVersion = 0x00020000;
constexpr uint32_t kResourceForkId = 2;
constexpr uint32_t kFinderInfoId = 9;
constexpr uint32_t kAttributesMagic = 0x41545452;  // "ATTR"
constexpr uint64_t kHeaderSize = 26;
constexpr uint64_t kEntrySize = 12;
constexpr uint64_t kFinderInfoSize = 32;
// The attribute header follows the Finder info after two bytes of padding.
constexpr uint64_t kAttributesOffset = kFinderInfoSize + 2;
constexpr uint64_t kAttributesHeaderSize = 36;
constexpr uint64_t kAttributeEntrySize = 11;  // offset, length, flags, name length; then the name
constexpr uint64_t kLargestValue = 65536;     // the largest value Linux stores in an attribute

uint32_t be32(const std::string& bytes, size_t at) {
  return platform::loadBig<uint32_t>(bytes.data() + at);
}

uint16_t be16(const std::string& bytes, size_t at) {
  return platform::loadBig<uint16_t>(bytes.data() + at);
}

class Merge {
 public:
  Merge(int sourceFd, int targetFd, const char* targetPath, pando::AbstractLogger* logger)
      : source_(sourceFd), target_(targetFd), targetPath_(targetPath), logger_(logger) {}

  bool run() {
    struct stat info;
    if (fstat(source_, &info) != 0) return malformed();
    size_ = static_cast<uint64_t>(info.st_size);
    std::string header;
    if (!read(0, kHeaderSize, header) || be32(header, 0) != kMagic || be32(header, 4) != kVersion) {
      return malformed();
    }
    const uint16_t count = be16(header, 24);
    std::string entries;
    if (!read(kHeaderSize, count * kEntrySize, entries)) return malformed();
    for (uint16_t i = 0; i < count; ++i) {
      const size_t at = i * kEntrySize;
      const uint64_t offset = be32(entries, at + 4), length = be32(entries, at + 8);
      if (offset + length > size_) return malformed();
      const uint32_t id = be32(entries, at);
      if (id == kFinderInfoId && !finderInfo(offset, length)) return malformed();
      if (id == kResourceForkId && length > 0) {
        if (!apply("com.apple.ResourceFork", offset, length)) return malformed();
      }
    }
    return true;
  }

 private:
  bool read(uint64_t offset, uint64_t length, std::string& bytes) {
    if (offset > size_ || length > size_ - offset) return false;
    bytes.resize(length);
    return platform::readFullyAt(source_, offset, bytes.data(), length);
  }

  bool finderInfo(uint64_t offset, uint64_t length) {
    if (length < kFinderInfoSize) return true;
    std::string info;
    if (!read(offset, kFinderInfoSize, info)) return false;
    if (info.find_first_not_of('\0') != std::string::npos) set("com.apple.FinderInfo", info);
    if (length < kAttributesOffset + kAttributesHeaderSize) return true;
    std::string header;
    if (!read(offset + kAttributesOffset, kAttributesHeaderSize, header)) return false;
    if (be32(header, 0) != kAttributesMagic) return true;
    return attributes(offset + kAttributesOffset + kAttributesHeaderSize, be16(header, 34));
  }

  // The attribute entries, each aligned to four bytes, in a row from `at`.
  bool attributes(uint64_t at, uint16_t count) {
    for (uint16_t i = 0; i < count; ++i) {
      std::string entry;
      if (!read(at, kAttributeEntrySize, entry)) return false;
      const uint64_t nameLength = static_cast<unsigned char>(entry[10]);
      std::string name;
      if (nameLength == 0 || !read(at + kAttributeEntrySize, nameLength, name)) return false;
      if (name.back() != '\0') return false;
      name.pop_back();
      const uint64_t offset = be32(entry, 0), length = be32(entry, 4);
      if (name.empty() || name.find('\0') != std::string::npos || offset + length > size_) {
        return false;
      }
      if (name == "com.apple.acl.text") {
        skip(name, "access-control lists are not carried over");
      } else if (!apply(name, offset, length)) {
        return false;
      }
      at += (kAttributeEntrySize + nameLength + 3) & ~uint64_t{3};
    }
    return true;
  }

  bool apply(const std::string& name, uint64_t offset, uint64_t length) {
    if (length > kLargestValue) {
      skip(name, "value too large");
      return true;
    }
    std::string value;
    if (!read(offset, length, value)) return false;
    set(name, value);
    return true;
  }

  void set(const std::string& name, const std::string& value) {
    const std::string fullName = "user." + name;
    if (fsetxattr(target_, fullName.c_str(), value.data(), value.size(), 0) != 0) {
      skip(name, currentErrorText().c_str());
    }
  }

  void skip(const std::string& name, const char* reason) {
    pando::utilsLog(logger_, pando::kLogWarn, "UnzipHandler",
                    "Extended attribute %s of %s left out: %s", name.c_str(), targetPath_, reason);
  }

  bool malformed() {
    pando::utilsLog(logger_, pando::kLogError, "UnzipHandler", "No valid AppleDouble data for %s",
                    targetPath_);
    return false;
  }

  int source_;
  int target_;
  const char* targetPath_;
  pando::AbstractLogger* logger_;
  uint64_t size_ = 0;
};

}  // namespace

bool mergeAppleDouble(int sourceFd, int targetFd, const char* targetPath,
                      pando::AbstractLogger* logger) {
  return Merge(sourceFd, targetFd, targetPath, logger).run();
}

}  // namespace files
