#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The product details a disk image carries: its last 512 bytes (the trailer) locate an XML
// property list, whose "ProductDetails" string holds them in Base64. Only the low halves of the
// trailer's 64-bit offset and length fields are read, big-endian; nothing else in it is examined.
// Stateless; any thread. Nothing here logs.

inline constexpr size_t kDmgTrailerSize = 512;
// No real property list comes near this; a trailer asking for more is hostile or damaged.
inline constexpr uint32_t kDmgPropertyListLimit = uint32_t{16} << 20;

struct DmgTrailer {
  uint32_t plistOffset = 0;  // bytes 220-223
  uint32_t plistLength = 0;  // bytes 228-231
};
DmgTrailer parseDmgTrailer(const unsigned char* trailer);

enum class DmgReadStatus : int {
  kRead = 0,
  kBadTrailer = 1,  // under 512 bytes, or a list past the trailer's start or over the limit
  kReadFailed = 2,  // the descriptor could not be examined or read
};

// The property list of the image open at `fd` (read with pread; the file position is left
// alone). The text ends at its first zero byte.
DmgReadStatus readDmgPropertyList(int fd, std::string& plist);

// The text between the first "<string>" after "<key>ProductDetails</key>" and the next
// "</string>", searched as plain text. False when a marker is missing.
bool findProductDetails(const std::string& plist, std::string& value);
