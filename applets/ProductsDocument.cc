#include "applets/ProductsDocument.h"

#include <strings.h>

#include <string>

#include "core/install/ProductCustomEntry.h"
#include "foundation/xml/XMLParser.h"

namespace applets {
namespace {

constexpr char kProducts[] = "(/channels/channel/products/product)";
constexpr size_t kMaxIdLength = 64;

bool isIdCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-';
}

bool startsWithNoCase(const std::string& text, const char* prefix) {
  size_t length = std::char_traits<char>::length(prefix);
  return text.size() > length && strncasecmp(text.c_str(), prefix, length) == 0;
}

// The first value of the query, "" when nothing matches.
std::string firstValue(const XMLParser& parser, const std::string& query) {
  std::vector<std::string> values;
  parser.stringValueListForXQuery(query, values, nullptr);
  return values.empty() ? std::string() : values.front();
}

}  // namespace

bool isValidProductId(const std::string& id) {
  if (id.empty() || id.size() > kMaxIdLength || id == "." || id == "..") return false;
  for (char c : id) {
    if (!isIdCharacter(c)) return false;
  }
  return true;
}

bool isPackageUrl(const std::string& url) {
  if (!startsWithNoCase(url, "http://") && !startsWithNoCase(url, "https://")) return false;
  for (unsigned char c : url) {
    if (c <= ' ' || c == 0x7F) return false;
  }
  return true;
}

bool readProductsDocument(const std::string& xml, std::vector<ProductEntry>& products) {
  if (xml.size() > kMaxProductsDocumentBytes) return false;
  XMLParser parser;
  if (!parser.initWithXMLString(xml)) return false;
  int count = 0;
  parser.getNodeListForXQuery(kProducts, &count);
  if (count < 0 || static_cast<size_t>(count) > kMaxProducts) return false;
  std::vector<ProductEntry> read;
  for (int index = 1; index <= count; ++index) {
    std::string product = std::string(kProducts) + "[" + std::to_string(index) + "]";
    ProductEntry entry;
    entry.id = firstValue(parser, product + "/@id");
    entry.packageUrl = customEntryValue(parser, product, "packageURL");
    if (!isValidProductId(entry.id) || !isPackageUrl(entry.packageUrl)) return false;
    read.push_back(std::move(entry));
  }
  products = std::move(read);
  return true;
}

}  // namespace applets
