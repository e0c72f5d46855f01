#include "foundation/xml/XMLCharacters.h"

#include <libxml/chvalid.h>
#include <libxml/tree.h>
#include <libxml/xmlstring.h>

#include <cstdint>
#include <string>

namespace XMLCharacters {
namespace {

int shortestEncodingLength(int codePoint) {
  if (codePoint < 0x80) return 1;
  if (codePoint < 0x800) return 2;
  if (codePoint < 0x10000) return 3;
  return 4;
}

// libxml2 checks the byte pattern of each sequence but accepts overlong forms, which a reader
// of the serialised document would reject; those are refused here.
bool allCharactersAllowed(const unsigned char* bytes, int size) {
  while (size > 0) {
    int length = size;
    const int codePoint = xmlGetUTF8Char(bytes, &length);
    if (codePoint < 0 || length != shortestEncodingLength(codePoint)) return false;
    if (!xmlIsCharQ(codePoint)) return false;
    bytes += length;
    size -= length;
  }
  return true;
}

}  // namespace

bool isValidText(std::string_view text) {
  if (text.size() > static_cast<size_t>(INT32_MAX)) return false;
  if (text.find('\0') != std::string_view::npos) return false;
  const std::string terminated(text);
  const auto* bytes = reinterpret_cast<const unsigned char*>(terminated.c_str());
  return xmlCheckUTF8(bytes) == 1 && allCharactersAllowed(bytes, static_cast<int>(text.size()));
}

bool isValidName(std::string_view name) {
  if (name.empty() || !isValidText(name)) return false;
  const std::string terminated(name);
  return xmlValidateName(reinterpret_cast<const xmlChar*>(terminated.c_str()), 0) == 0;
}

}  // namespace XMLCharacters
