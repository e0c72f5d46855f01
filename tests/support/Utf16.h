#pragma once

#include <string>

namespace wendtest {

// `ascii` as UTF-16, little-endian, after a byte-order mark.
inline std::string utf16le(const std::string& ascii) {
  std::string wide = "\xFF\xFE";
  for (char c : ascii) wide += std::string{c, '\0'};
  return wide;
}

}  // namespace wendtest
