#include "foundation/json/StringQuoting.h"

#include <array>

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
  out += '"';
  const char* run = begin;
  for (const char* p = begin; p != end; ++p) {
    if (!needsEscape(*p)) continue;
    out.append(run, p);
    appendEscape(out, *p);
    run = p + 1;
  }
  out.append(run, end);
  out += '"';
}

}  // namespace Json
