#include <gtest/gtest.h>

#include "applets/ProductsDocument.h"

namespace applets {
namespace {

std::string product(const std::string& id, const std::string& entries) {
  return "<product id=\"" + id + "\"><custom-data>" + entries + "</custom-data></product>";
}
std::string entry(const std::string& key, const std::string& value) {
  return "<custom-entry key=\"" + key + "\"><value>" + value + "</value></custom-entry>";
}
std::string document(const std::string& products) {
  return "<channels><channel><products>" + products + "</products></channel></channels>";
}
std::string package(const std::string& id, const std::string& url = "https://h/p.zip") {
  return product(id, entry("packageURL", url));
}

TEST(ProductsDocumentTest, ReadsProductsInDocumentOrderWithTheFirstPackageUrl) {
  std::string xml = "<channels><channel><products>" + package("b", "http://h/b.zip") +
                    product("a", entry("other", "x") + entry("packageURL", "HTTPS://h/a.zip") +
                                     entry("packageURL", "https://h/second.zip")) +
                    "</products></channel><channel><products>" + package("c") +
                    "</products></channel></channels>";
  std::vector<ProductEntry> products;
  ASSERT_TRUE(readProductsDocument(xml, products));
  std::vector<std::string> read;
  for (const ProductEntry& p : products) read.push_back(p.id + " " + p.packageUrl);
  EXPECT_EQ(read, (std::vector<std::string>{"b http://h/b.zip", "a HTTPS://h/a.zip",
                                            "c https://h/p.zip"}));
  EXPECT_TRUE(readProductsDocument(document(package(std::string(64, 'x'))), products));
  EXPECT_TRUE(readProductsDocument(document(package("A-z_0.9..x")), products));
  ASSERT_TRUE(readProductsDocument(document(""), products));
  EXPECT_TRUE(products.empty());
}

TEST(ProductsDocumentTest, RefusesTheWholeDocumentForOneUnusableProduct) {
  std::string many;
  for (size_t i = 0; i <= kMaxProducts; ++i) many += package("p" + std::to_string(i));
  const std::pair<const char*, std::string> cases[] = {
      {"not XML", "products: none"},
      {"cut short", document(package("a")).substr(0, 40)},
      {"an empty id", document(package(""))},
      {"no id", document("<product><custom-data>" + entry("packageURL", "http://h/") +
                         "</custom-data></product>")},
      {"a slash", document(package("a/b"))},
      {"a climb", document(package("..") + package("ok"))},
      {"the folder itself", document(package("."))},
      {"a blank", document(package("a b"))},
      {"65 characters", document(package(std::string(65, 'x')))},
      {"no package URL", document(product("a", entry("other", "http://h/")))},
      {"a file URL", document(package("a", "file:///etc/passwd"))},
      {"a relative URL", document(package("a", "/p.zip"))},
      {"only a scheme", document(package("a", "http://"))},
      {"a blank in the URL", document(package("a", "http://h/a b.zip"))},
      {"too many products", document(many)},
  };
  for (const auto& [what, xml] : cases) {
    SCOPED_TRACE(what);
    std::vector<ProductEntry> products{{"kept", "http://h/"}};
    EXPECT_FALSE(readProductsDocument(xml, products));
    ASSERT_EQ(products.size(), 1u) << "untouched";
  }
}

}  // namespace
}  // namespace applets
