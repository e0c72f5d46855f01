#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "core/config/ConfigStore.h"

class XMLParser;

// The two custom entries of the product's data that the compatibility check reads. Any thread;
// each may block for the products request.
class IProductRequirements {
 public:
  virtual ~IProductRequirements() = default;
  virtual std::string getCompatibilityCheckScript() = 0;
  virtual std::string getSystemRequirementURL() = 0;
};

// Fixed waits of the products request; tests pass shorter ones.
struct ProductsDataSettings {
  int timeoutSeconds = 60;
};

// The proxy user name and password the request carries, asked at every request.
using ProxyCredentialsSource = std::function<void(std::string& userName, std::string& password)>;

// The product service's products document for the configured product, fetched on the first
// lookup and kept for the run, and the lookups of the configured version's custom entries in it.
// Only a 2xx answer is kept: after an error page, a failed request or an empty body the next
// lookup asks again. Logs through the process's log function under "ProductsData".
//
// Threads: any thread. One mutex guards the text and the parsed document and is held across the
// request, so a lookup made while another thread fetches waits for that fetch instead of sending
// its own. The configuration and the credential source must outlive the object.
class ProductsData final : public IProductRequirements {
 public:
  ProductsData(ConfigStore& config, ProxyCredentialsSource proxyCredentials,
               ProductsDataSettings settings = {});
  ~ProductsData() override;
  ProductsData(const ProductsData&) = delete;
  ProductsData& operator=(const ProductsData&) = delete;

  // The product-service URL with the platform, type, payload and sapCode queries appended.
  std::string buildProductsUrl();
  // "/channels/channel/products/product[@version='<version>']/custom-data/custom-entry[@key=
  // '<key>']/value".
  std::string customEntryXPath(const std::string& key);
  // True once a document is loaded, fetching it first when there is no text.
  bool ensureDocument();
  // The value of the configured version's first custom entry `key`; "" when there is no document
  // or no such entry.
  std::string getCustomEntryValue(const std::string& key);
  std::string getCompatibilityCheckScript() override;
  std::string getSystemRequirementURL() override;

 private:
  bool ensureDocumentLocked();
  void fetchProductsXmlLocked();

  ConfigStore& config_;
  const ProxyCredentialsSource proxyCredentials_;
  const ProductsDataSettings settings_;

  std::mutex mutex_;
  std::string text_;                   // guarded by mutex_
  std::unique_ptr<XMLParser> parser_;  // guarded by mutex_; set once a document loaded
};
