#include "download/engine/http/HttpText.h"

#include <cctype>
#include <cstring>

namespace gde {
namespace {

bool isLegalUrlByte(unsigned char c) {
  if (c <= 0x20 || c >= 0x7F) return false;
  return std::strchr("\"<>\\^`{|}", c) == nullptr;
}

bool startsEscape(const std::string& text, size_t at) {
  return at + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[at + 1])) &&
         std::isxdigit(static_cast<unsigned char>(text[at + 2]));
}

bool breaksHeaderLine(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

}  // namespace

std::string escapeIllegalUrlBytes(const std::string& url) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(url.size());
  for (size_t i = 0; i < url.size(); ++i) {
    const auto c = static_cast<unsigned char>(url[i]);
    const bool keep = c == '%' ? startsEscape(url, i) : isLegalUrlByte(c);
    if (keep) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

bool hasIllegalUrlBytes(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '%' ? !startsEscape(text, i) : !isLegalUrlByte(c)) return true;
  }
  return false;
}

bool isSafeHeaderName(const std::string& name) {
  return !name.empty() && !breaksHeaderLine(name);
}

bool isSafeHeaderValue(const std::string& value) {
  return !breaksHeaderLine(value);
}

std::string loggableUrl(const std::string& url) {
  std::string shown = url.substr(0, url.find_first_of("?#"));
  const size_t schemeEnd = shown.find("://");
  const size_t authority = schemeEnd == std::string::npos ? 0 : schemeEnd + 3;
  const size_t at = shown.find('@', authority);
  if (at != std::string::npos && at < shown.find('/', authority))
    shown.erase(authority, at + 1 - authority);
  return shown;
}

}  // namespace gde
