// Reads arbitrary bytes as the product service's products document. Nothing may crash, and a
// document that is accepted lists only products whose ids name a folder of their own and whose
// packages come over http or https. The input's first bytes also serve as a version and an entry
// key for the custom-entry lookup, whose quoting must hold for any text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "applets/ProductsDocument.h"
#include "core/install/ProductCustomEntry.h"
#include "foundation/xml/XMLParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  XMLParser parser;
  if (text.size() <= applets::kMaxProductsDocumentBytes && parser.initWithXMLString(text)) {
    const std::string key = text.substr(0, text.find('\n') < 64 ? text.find('\n') : 64);
    customEntryValue(parser,
                     "/channels/channel/products/product[@version=" + xpathLiteral(key) + "]", key);
  }
  std::vector<applets::ProductEntry> products;
  if (!applets::readProductsDocument(text, products)) return 0;
  if (products.size() > applets::kMaxProducts) std::abort();
  for (const applets::ProductEntry& product : products) {
    if (!applets::isValidProductId(product.id) || !applets::isPackageUrl(product.packageUrl) ||
        product.id.find('/') != std::string::npos || product.id == "..") {
      std::abort();
    }
  }
  return 0;
}
