#include "foundation/text/Base64.h"

#include <cstring>
#include <vector>

#include "foundation/logging/UtilsLog.h"

namespace StringUtils {
namespace {

constexpr char kComponent[] = "StringUtils";
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Maps the alphabet to 0-63; every other byte decodes as 0.
struct DecodingTable {
  unsigned char values[256] = {};
  DecodingTable() {
    for (int i = 0; i < 64; ++i) values[static_cast<unsigned char>(kAlphabet[i])] = i;
  }
};

const DecodingTable& decodingTable() {
  static const DecodingTable table;
  return table;
}

// The decoder gathers everything from "0" to "z" (the punctuation in that range included) and
// "+" and "/"; whatever else stands in the text is skipped.
bool isGathered(char c) {
  return (c >= '0' && c <= 'z') || c == '+' || c == '/';
}

// Decodes one group of four gathered characters; false when its padding is malformed.
bool decodeGroup(const char group[4], std::vector<unsigned char>& bytes) {
  if (group[0] == '=' || group[1] == '=') return false;
  if (group[2] == '=' && group[3] != '=') return false;
  const unsigned char* value = decodingTable().values;
  unsigned bits = (value[static_cast<unsigned char>(group[0])] << 18) |
                  (value[static_cast<unsigned char>(group[1])] << 12) |
                  (value[static_cast<unsigned char>(group[2])] << 6) |
                  value[static_cast<unsigned char>(group[3])];
  bytes.push_back(static_cast<unsigned char>(bits >> 16));
  if (group[2] != '=') bytes.push_back(static_cast<unsigned char>(bits >> 8));
  if (group[3] != '=') bytes.push_back(static_cast<unsigned char>(bits));
  return true;
}

bool decode(const char* text, size_t length, std::vector<unsigned char>& bytes) {
  char group[4];
  size_t gathered = 0;
  for (size_t i = 0; i < length && text[i] != '\0'; ++i) {
    if (!isGathered(text[i])) continue;
    group[gathered++] = text[i];
    if (gathered < 4) continue;
    if (!decodeGroup(group, bytes)) return false;
    gathered = 0;
  }
  return gathered == 0;
}

// The alphabet's value of `c`, or -1.
int strictValue(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

bool utilDecodeBase64Strict(std::string_view text, std::vector<unsigned char>& bytes) {
  if (text.size() % 4 != 0) return false;
  std::vector<unsigned char> out;
  out.reserve(text.size() / 4 * 3);
  for (size_t at = 0; at < text.size(); at += 4) {
    const bool last = at + 4 == text.size();
    // Padding: only in the last group, as its last one or two characters.
    size_t padding = 0;
    if (last && text[at + 3] == '=') padding = text[at + 2] == '=' ? 2 : 1;
    unsigned bits = 0;
    for (size_t i = 0; i < 4; ++i) {
      const int value = i < 4 - padding ? strictValue(text[at + i]) : 0;
      if (value < 0) return false;
      bits = (bits << 6) | static_cast<unsigned>(value);
    }
    // Bits the padding leaves over must be 0, or two texts would decode to the same bytes.
    if ((padding == 2 && (bits & 0xFFFF) != 0) || (padding == 1 && (bits & 0xFF) != 0)) {
      return false;
    }
    out.push_back(static_cast<unsigned char>(bits >> 16));
    if (padding < 2) out.push_back(static_cast<unsigned char>(bits >> 8));
    if (padding < 1) out.push_back(static_cast<unsigned char>(bits));
  }
  bytes = std::move(out);
  return true;
}

bool utilEncodeDataInBase64(const void* bytes, size_t length, std::string& out,
                            pando::AbstractLogger* logger) {
  if (!bytes || length == 0) {
    pando::utilsLog(logger, pando::kLogWarn, kComponent,
                    "Invalid arguments to utilEncodeDataInBase64.");
    return false;
  }
  const auto* data = static_cast<const unsigned char*>(bytes);
  out.reserve(out.size() + (length + 2) / 3 * 4);
  for (size_t i = 0; i < length; i += 3) {
    size_t count = length - i < 3 ? length - i : 3;
    unsigned bits = data[i] << 16;
    if (count > 1) bits |= data[i + 1] << 8;
    if (count > 2) bits |= data[i + 2];
    out += kAlphabet[(bits >> 18) & 0x3F];
    out += kAlphabet[(bits >> 12) & 0x3F];
    out += count > 1 ? kAlphabet[(bits >> 6) & 0x3F] : '=';
    out += count > 2 ? kAlphabet[bits & 0x3F] : '=';
  }
  return true;
}

bool utilDecodeBase64Data(const char* text, size_t length, std::unique_ptr<unsigned char[]>* buffer,
                          size_t& decodedLength, pando::AbstractLogger* logger) {
  if (!text || length == 0) {
    pando::utilsLog(logger, pando::kLogWarn, kComponent,
                    "Invalid arguments to utilDecodeBase64Data.");
    return false;
  }
  std::vector<unsigned char> bytes;
  if (!decode(text, length, bytes)) {
    pando::utilsLog(logger, pando::kLogWarn, kComponent, "Failed to decode from base 64.");
    return false;
  }
  decodedLength = bytes.size();
  if (buffer && !bytes.empty()) {
    *buffer = std::make_unique<unsigned char[]>(bytes.size());
    std::memcpy(buffer->get(), bytes.data(), bytes.size());
  }
  return true;
}

}  // namespace StringUtils
