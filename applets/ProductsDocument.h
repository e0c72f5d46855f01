#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The products document of the product service, as the product installation reads it:
// /channels/channel/products/product elements, each with an "id" attribute and a custom entry
// "packageURL" (custom-data/custom-entry[@key='packageURL']/value), in document order.
//
// The document comes from the network and is hostile until checked: every product must carry an
// id of 1 to 64 characters of [A-Za-z0-9._-] other than "." and "..", and an http or https
// package URL without blanks or control characters; one product that does not makes the whole
// document unusable, so nothing of it is installed. Stateless; any thread.
namespace applets {

struct ProductEntry {
  std::string id;
  std::string packageUrl;
};

inline constexpr size_t kMaxProductsDocumentBytes = 4u << 20;
inline constexpr size_t kMaxProducts = 256;

// False, `products` untouched, for text that is not XML, larger than kMaxProductsDocumentBytes,
// listing more than kMaxProducts products, or holding a product that fails the checks above. A
// document without products gives true and an empty list.
bool readProductsDocument(const std::string& xml, std::vector<ProductEntry>& products);

bool isValidProductId(const std::string& id);
bool isPackageUrl(const std::string& url);

}  // namespace applets
