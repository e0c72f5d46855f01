#include "core/install/ProductCustomEntry.h"

#include <vector>

#include "foundation/xml/XMLParser.h"

std::string xpathLiteral(const std::string& text) {
  if (text.find('\'') == std::string::npos) return "'" + text + "'";
  if (text.find('"') == std::string::npos) return "\"" + text + "\"";
  // Pieces without a "'" in single quotes, each "'" on its own in double quotes.
  std::string literal = "concat(";
  std::string piece;
  for (char c : text) {
    if (c != '\'') {
      piece += c;
      continue;
    }
    if (!piece.empty()) literal += "'" + piece + "',";
    piece.clear();
    literal += "\"'\",";
  }
  literal += "'" + piece + "')";
  return literal;
}

std::string customEntryXPath(const std::string& productPath, const std::string& key) {
  return productPath + "/custom-data/custom-entry[@key=" + xpathLiteral(key) + "]/value";
}

std::string customEntryValue(const XMLParser& parser, const std::string& productPath,
                             const std::string& key) {
  std::vector<std::string> values;
  parser.stringValueListForXQuery(customEntryXPath(productPath, key), values, nullptr);
  return values.empty() ? std::string() : values.front();
}
