#include "foundation/text/UrlEscaping.h"

#include <cstring>
#include <utility>

#include "foundation/text/Utf8.h"

namespace StringUtils {
namespace {

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

bool startsEscape(const std::string& text, size_t at) {
  return text[at] == '%' && at + 2 < text.size() && isHexDigit(text[at + 1]) &&
         isHexDigit(text[at + 2]);
}

// RFC 2396 unreserved characters. Its reserved ones (";/?:@&=+$,") are escaped as well, and so are
// "#", "[", "]" and the blank, which it does not allow at all.
bool staysLiteral(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return c != '\0' && std::strchr("-_.!~*'()", c) != nullptr;
}

}  // namespace

bool utilEncodeURLString(std::string& text) {
  if (!Utf8::isValid(text)) return false;
  static const char digits[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (staysLiteral(c) || startsEscape(text, i)) {
      escaped += c;
      continue;
    }
    auto byte = static_cast<unsigned char>(c);
    escaped += '%';
    escaped += digits[byte >> 4];
    escaped += digits[byte & 0x0F];
  }
  text = std::move(escaped);
  return true;
}

bool utilDecodeURLString(std::string& text) {
  if (text.empty()) return true;
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (startsEscape(text, i)) {
      decoded += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  if (!Utf8::isValid(decoded)) return false;
  text = std::move(decoded);
  return true;
}

}  // namespace StringUtils
