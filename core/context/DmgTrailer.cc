#include "core/context/DmgTrailer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr size_t kOffsetLow = 220;
constexpr size_t kLengthLow = 228;

uint32_t bigEndian32(const unsigned char* bytes) {
  return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 |
         uint32_t{bytes[3]};
}

bool readAt(int fd, unsigned char* into, size_t length, off_t offset) {
  size_t done = 0;
  while (done < length) {
    ssize_t got = pread(fd, into + done, length - done, offset + static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;  // the file shrank: the rest stays zero
    done += static_cast<size_t>(got);
  }
  return true;
}

}  // namespace

DmgTrailer parseDmgTrailer(const unsigned char* trailer) {
  return DmgTrailer{bigEndian32(trailer + kOffsetLow), bigEndian32(trailer + kLengthLow)};
}

DmgReadStatus readDmgPropertyList(int fd, std::string& plist) {
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return DmgReadStatus::kReadFailed;
  if (info.st_size < static_cast<off_t>(kDmgTrailerSize)) return DmgReadStatus::kBadTrailer;
  const uint64_t trailerStart = static_cast<uint64_t>(info.st_size) - kDmgTrailerSize;
  unsigned char trailer[kDmgTrailerSize] = {};
  if (!readAt(fd, trailer, sizeof trailer, static_cast<off_t>(trailerStart))) {
    return DmgReadStatus::kReadFailed;
  }
  const DmgTrailer fields = parseDmgTrailer(trailer);
  // In 64 bits, so offset and length cannot wrap round past the checks.
  if (fields.plistLength > kDmgPropertyListLimit ||
      uint64_t{fields.plistOffset} + fields.plistLength > trailerStart) {
    return DmgReadStatus::kBadTrailer;
  }
  std::string text(fields.plistLength, '\0');
  if (!readAt(fd, reinterpret_cast<unsigned char*>(text.data()), text.size(),
              static_cast<off_t>(fields.plistOffset))) {
    return DmgReadStatus::kReadFailed;
  }
  text.resize(std::strlen(text.c_str()));
  plist = std::move(text);
  return DmgReadStatus::kRead;
}

bool findProductDetails(const std::string& plist, std::string& value) {
  static const std::string kKey = "<key>ProductDetails</key>";
  static const std::string kOpen = "<string>";
  static const std::string kClose = "</string>";
  size_t key = plist.find(kKey);
  if (key == std::string::npos) return false;
  size_t open = plist.find(kOpen, key);
  if (open == std::string::npos) return false;
  size_t close = plist.find(kClose, open);
  if (close == std::string::npos) return false;
  value = plist.substr(open + kOpen.size(), close - open - kOpen.size());
  return true;
}
