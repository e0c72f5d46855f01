#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Header-only so that libraries without dependencies (the JSON writers) can share it.
namespace Utf8 {

// The length of the well-formed UTF-8 sequence at `at` (no overlong form, no surrogate, nothing
// above U+10FFFF), or 0 when the bytes there do not start one. `at` must lie inside `bytes`.
inline size_t sequenceLengthAt(std::string_view bytes, size_t at) {
  const auto lead = static_cast<unsigned char>(bytes[at]);
  size_t length;
  char32_t minimum;
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, minimum = 0x10000;
  } else {
    return 0;
  }
  if (bytes.size() - at < length) return 0;
  char32_t codePoint = lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(bytes[at + k]);
    if ((next & 0xC0) != 0x80) return 0;
    codePoint = (codePoint << 6) | (next & 0x3F);
  }
  if (codePoint < minimum || codePoint > 0x10FFFF) return 0;
  if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return 0;
  return length;
}

inline constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";  // U+FFFD

// The bytes with each one that is not part of well-formed UTF-8 replaced by U+FFFD.
inline std::string withReplacements(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t at = 0; at < bytes.size();) {
    const size_t length = sequenceLengthAt(bytes, at);
    if (length == 0) {
      out += kReplacementCharacter;
      ++at;
    } else {
      out.append(bytes, at, length);
      at += length;
    }
  }
  return out;
}

}  // namespace Utf8
