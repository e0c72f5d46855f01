#include "foundation/text/StringUtils.h"

#include <sys/random.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace StringUtils {
namespace {

// printf into a std::string of whatever length the value needs.
__attribute__((format(printf, 1, 2))) std::string format(const char* pattern, ...) {
  va_list args;
  va_start(args, pattern);
  va_list again;
  va_copy(again, args);
  int length = std::vsnprintf(nullptr, 0, pattern, args);
  va_end(args);
  std::string text;
  if (length > 0) {
    text.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), pattern, again);
    text.resize(static_cast<size_t>(length));
  }
  va_end(again);
  return text;
}

bool isAsciiUpper(char c) {
  return c >= 'A' && c <= 'Z';
}
bool isAsciiLower(char c) {
  return c >= 'a' && c <= 'z';
}

bool fillRandom(unsigned char* bytes, size_t count) {
  size_t filled = 0;
  while (filled < count) {
    ssize_t got = getrandom(bytes + filled, count - filled, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    filled += static_cast<size_t>(got);
  }
  return true;
}

}  // namespace

bool utilConvertCStringToString(const char* text, std::string& out) {
  if (!text) return false;
  out = text;
  return true;
}

bool utilConvertCStringToStringSafe(const char* text, std::string& out) {
  out = text ? text : "";
  return true;
}

bool utilConvertToUTF8String(const std::string& text, std::string& out) {
  out = text;
  return true;
}

bool utilConvertFromUTF8String(const std::string& text, std::string& out) {
  out = text;
  return true;
}

std::string convertToUTF8String(const std::string& text, int) {
  return text;
}
std::string convertFromUTF8String(const std::string& text, int) {
  return text;
}

bool utilConvertIntToString(int value, std::string& out) {
  out = format("%d", value);
  return true;
}

bool utilConvertInt64ToString(int64_t value, std::string& out) {
  out = format("%lld", static_cast<long long>(value));
  return true;
}

bool utilConvertDoubleToString(double value, std::string& out) {
  out = format("%f", value);
  return true;
}

std::string utilFormatInt(int value) {
  return format("%d", value);
}
std::string utilIntToString(int value) {
  return format("%d", value);
}
std::string utilLongToString(long value) {
  return format("%ld", value);
}

int utilConvertStringToInt(const std::string& text) {
  long value = std::strtol(text.c_str(), nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

int64_t utilConvertStringToInt64(const std::string& text) {
  if (text.empty()) return 0;
  bool hexadecimal = text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  std::istringstream stream(text);
  long long value = 0;
  if (hexadecimal) {
    stream >> std::hex >> value;
  } else {
    stream >> value;
  }
  return static_cast<int64_t>(value);
}

bool utilVersionToString(int major, int minor, int patch, std::string& out) {
  out = format("%d.%d.%d", major, minor, patch);
  return true;
}

void utilPrependKeyValue(const std::string& key, int value, std::string& list) {
  std::string item = key + ":" + utilIntToString(value);
  list = list.empty() ? item : item + "," + list;
}

void utilGetErrorString(std::string& out, int errorNumber) {
  if (errorNumber == -1) errorNumber = errno;
  char buffer[256];
  const char* text = strerror_r(errorNumber, buffer, sizeof buffer);
  out = "Error " + utilIntToString(errorNumber) + " " + text;
}

bool utilCreateUUIDString(std::string& out) {
  unsigned char bytes[16];
  if (!fillRandom(bytes, sizeof bytes)) return false;
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4: random
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (size_t i = 0; i < sizeof bytes; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 0x0F];
  }
  out = text;
  return true;
}

void utilReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
    text.replace(at, from.size(), to);
    at += to.size();
  }
}

int utilSplitString(std::vector<std::string>& pieces, const std::string& text,
                    const std::string& delimiter) {
  pieces.clear();
  if (text.empty()) return 0;
  if (delimiter.empty()) {
    pieces.push_back(text);
    return 1;
  }
  size_t start = 0;
  for (size_t at = text.find(delimiter); at != std::string::npos;
       at = text.find(delimiter, start)) {
    pieces.push_back(text.substr(start, at - start));
    start = at + delimiter.size();
  }
  pieces.push_back(text.substr(start));
  return static_cast<int>(pieces.size());
}

std::string utilJoinStrings(const std::vector<std::string>& pieces, const std::string& separator) {
  std::string joined;
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) joined += separator;
    joined += pieces[i];
  }
  return joined;
}

std::string_view utilTrimBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string utilToLower(const std::string& text) {
  std::string result = text;
  for (char& c : result) {
    if (isAsciiUpper(c)) c = static_cast<char>(c - 'A' + 'a');
  }
  return result;
}

std::string utilToUpper(const std::string& text) {
  std::string result = text;
  for (char& c : result) {
    if (isAsciiLower(c)) c = static_cast<char>(c - 'a' + 'A');
  }
  return result;
}

bool utilParseVersionString(const std::string& text, VersionNumbers& version) {
  std::vector<std::string> pieces;
  utilSplitString(pieces, text, ".");
  for (size_t i = 0; i < pieces.size() && i < version.size(); ++i) {
    version[i] = utilConvertStringToInt(pieces[i]);
  }
  return true;
}

int utilCompareVersions(const VersionNumbers& a, const VersionNumbers& b) {
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] < b[i]) return -1;
    if (a[i] > b[i]) return 1;
  }
  return 0;
}

int utilParseURLQuery(const std::string& url, std::map<std::string, std::string>& query) {
  if (url.empty()) return 0;
  size_t mark = url.find('?');
  if (mark == std::string::npos) return 1;
  std::vector<std::string> pairs;
  utilSplitString(pairs, url.substr(mark + 1), "&");
  for (const std::string& pair : pairs) {
    if (pair.empty()) continue;
    std::vector<std::string> parts;
    utilSplitString(parts, pair, "=");
    query[parts[0]] = parts.size() > 1 ? parts[1] : std::string();
  }
  return 1;
}

}  // namespace StringUtils
