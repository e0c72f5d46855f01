#include "foundation/json/StringQuoting.h"

#include <array>
#include <string_view>

#include "foundation/text/Utf8Decode.h"

namespace Json {
namespace {

constexpr std::array<bool, 256> makeEscapeTable() {
  std::array<bool, 256> table{};
  for (int byte = 0; byte < 0x20; ++byte) table[byte] = true;
  table['"'] = true;
  table['\\'] = true;
  return table;
}

constexpr std::array<bool, 256> kNeedsEscape = makeEscapeTable();

bool needsEscape(char byte) {
  return kNeedsEscape[static_cast<unsigned char>(byte)];
}

void appendEscape(std::string& out, char byte) {
  switch (byte) {
    case '"':
      out += "\\\"";
      return;
    case '\\':
      out += "\\\\";
      return;
    case '\b':
      out += "\\b";
      return;
    case '\f':
      out += "\\f";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    case '\t':
      out += "\\t";
      return;
    default: {
      static constexpr char kHex[] = "0123456789ABCDEF";
      const auto code = static_cast<unsigned char>(byte);
      const char escape[] = {'\\', 'u', '0', '0', kHex[code >> 4], kHex[code & 0xF]};
      out.append(escape, sizeof escape);
    }
  }
}

}  // namespace

void appendQuotedString(std::string& out, const char* begin, const char* end) {
  const std::string_view text(begin, static_cast<size_t>(end - begin));
  out += '"';
  size_t run = 0;
  for (size_t at = 0; at < text.size();) {
    const size_t length = Utf8::sequenceLengthAt(text, at);
    if (length == 1 && !needsEscape(text[at])) {
      ++at;
      continue;
    }
    if (length > 1) {
      at += length;
      continue;
    }
    out.append(text, run, at - run);
    if (length == 0) {
      out += Utf8::kReplacementCharacter;
    } else {
      appendEscape(out, text[at]);
    }
    run = ++at;
  }
  out.append(text, run);
  out += '"';
}

}  // namespace Json
