#pragma once

#include <cstdint>
#include <string>

namespace wendtest {

// A synthetic disk image: `body`, then a 512-byte trailer whose property-list offset and length
// fields hold the given values as big-endian low halves, with high halves full of ones, which the
// reader must ignore.
inline std::string diskImage(const std::string& body, uint32_t offset, uint32_t length) {
  std::string trailer(512, '\x5a');
  trailer.replace(0, 4, "koly");
  auto put = [&](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) trailer[at + i] = static_cast<char>(value >> (24 - 8 * i));
  };
  put(216, 0xFFFFFFFF);
  put(220, offset);
  put(224, 0xFFFFFFFF);
  put(228, length);
  return body + trailer;
}

}  // namespace wendtest
