#include "foundation/text/Utf8.h"

#include <utility>

#include "foundation/text/Utf8Encode.h"

namespace Utf8 {
namespace {

bool isContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// Length of the sequence that `lead` starts and the smallest code point it may encode; 0 for a
// byte that cannot start one.
int sequenceLength(unsigned char lead, char32_t& minimum) {
  if (lead < 0x80) return minimum = 0, 1;
  if ((lead & 0xE0) == 0xC0) return minimum = 0x80, 2;
  if ((lead & 0xF0) == 0xE0) return minimum = 0x800, 3;
  if ((lead & 0xF8) == 0xF0) return minimum = 0x10000, 4;
  return 0;
}

bool isHighSurrogate(char32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(char32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

bool isValid(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    auto lead = static_cast<unsigned char>(bytes[i]);
    char32_t minimum = 0;
    int length = sequenceLength(lead, minimum);
    if (length == 0 || bytes.size() - i < static_cast<size_t>(length)) return false;
    char32_t codePoint = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
      auto next = static_cast<unsigned char>(bytes[i + k]);
      if (!isContinuation(next)) return false;
      codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF) return false;
    if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return false;
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

}  // namespace Utf8
