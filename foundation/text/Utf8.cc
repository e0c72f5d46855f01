#include "foundation/text/Utf8.h"

#include <utility>

#include "foundation/text/Utf8Decode.h"
#include "foundation/text/Utf8Encode.h"

namespace Utf8 {
namespace {

bool isHighSurrogate(char32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(char32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

bool isValid(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    const size_t length = sequenceLengthAt(bytes, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

bool fromUtf16(std::string_view bytes, std::string& out) {
  if (bytes.size() % 2 != 0) return false;
  bool bigEndian = true;
  size_t i = 0;
  if (bytes.size() >= 2) {
    auto first = static_cast<unsigned char>(bytes[0]);
    auto second = static_cast<unsigned char>(bytes[1]);
    if (first == 0xFF && second == 0xFE) bigEndian = false, i = 2;
    if (first == 0xFE && second == 0xFF) i = 2;
  }
  auto unitAt = [&](size_t at) -> char32_t {
    auto a = static_cast<unsigned char>(bytes[at]);
    auto b = static_cast<unsigned char>(bytes[at + 1]);
    return bigEndian ? (a << 8) | b : (b << 8) | a;
  };
  std::string text;
  for (; i < bytes.size(); i += 2) {
    char32_t unit = unitAt(i);
    if (isLowSurrogate(unit)) return false;
    if (isHighSurrogate(unit)) {
      if (bytes.size() - i < 4) return false;
      char32_t low = unitAt(i + 2);
      if (!isLowSurrogate(low)) return false;
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    appendCodePoint(unit, text);
  }
  out = std::move(text);
  return true;
}

bool fromMarkedUtf16(std::string_view bytes, std::string& out) {
  const bool marked = bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF";
  return marked && fromUtf16(bytes, out);
}

}  // namespace Utf8
