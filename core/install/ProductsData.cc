#include "core/install/ProductsData.h"

#include <map>

#include "core/config/ConfigValues.h"
#include "core/config/ServiceUrls.h"
#include "core/install/ProductCustomEntry.h"
#include "foundation/http/HTTPConnector.h"
#include "foundation/logging/LogCallback.h"
#include "foundation/system/HardwareUtils.h"
#include "foundation/xml/XMLDocumentLimits.h"
#include "foundation/xml/XMLParser.h"

namespace {

constexpr char kComponent[] = "ProductsData";

}  // namespace

ProductsData::ProductsData(ConfigStore& config, ProxyCredentialsSource proxyCredentials,
                           ProductsDataSettings settings)
    : config_(config), proxyCredentials_(std::move(proxyCredentials)), settings_(settings) {}

ProductsData::~ProductsData() = default;

std::string ProductsData::buildProductsUrl() {
  std::string url = GetProductServiceUrl(config_);
  int bits = 0;
  url += HardwareUtils::GetCurrentOSBitness(bits) && bits == 64 ? "&platform=osx10-64,osx10"
                                                                : "&platform=osx10";
  url += "&_type=xml&productType=Desktop";
  url += "&payload=true";
  url += "&sapCode=" + GetSapCode(config_);
  return url;
}

std::string ProductsData::customEntryXPath(const std::string& key) {
  return ::customEntryXPath(
      "/channels/channel/products/product[@version=" + xpathLiteral(GetVersion(config_)) + "]",
      key);
}

bool ProductsData::ensureDocument() {
  std::lock_guard lock(mutex_);
  return ensureDocumentLocked();
}

std::string ProductsData::getCustomEntryValue(const std::string& key) {
  std::string value;
  {
    std::lock_guard lock(mutex_);
    if (!ensureDocumentLocked()) return "";
    std::vector<std::string> values;
    parser_->stringValueListForXQuery(customEntryXPath(key), values, nullptr);
    if (!values.empty()) value = values.front();
  }
  LogCallback(pando::kLogDebug, kBootstrapperModule, kComponent, "", "",
              "Custom Entry Value For key %s is: %s", key.c_str(), value.c_str());
  return value;
}

std::string ProductsData::getCompatibilityCheckScript() {
  return getCustomEntryValue("compatibilityCheckScript");
}

std::string ProductsData::getSystemRequirementURL() {
  return getCustomEntryValue("systemRequirementURL");
}

bool ProductsData::ensureDocumentLocked() {
  if (parser_) return true;
  fetchProductsXmlLocked();
  if (text_.empty()) {
    LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                "Could not get ProductSpecific data since it is empty");
    return false;
  }
  auto parser = std::make_unique<XMLParser>();
  if (!parser->initWithXMLString(text_)) {
    LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                "failed in to init producs data with XML Parser");
    std::string reason;
    if (!XMLDocumentLimits::withinLimits(text_, reason)) {
      LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                  "The products document is refused: %s", reason.c_str());
    }
    return false;
  }
  parser_ = std::move(parser);
  return true;
}

void ProductsData::fetchProductsXmlLocked() {
  if (!text_.empty()) return;
  HTTPConnectorRequest request;
  request.serverURL = buildProductsUrl();
  request.method = "GET";
  request.timeoutSeconds = settings_.timeoutSeconds;
  request.headers = {{"x-orvel-app-id", "SkyloomInstaller"}, {"Accept", "application/xml"}};
  std::string userName;
  std::string password;
  if (proxyCredentials_) proxyCredentials_(userName, password);
  HTTPConnector connector;
  connector.setProxyCredentials(userName, password);
  std::map<std::string, std::string> headers;
  std::string body;
  const HTTPConnectorResponse result = connector.SendHTTPRequest(request, headers, body);
  const int status = connector.getHTTPStatusCode();
  // An error page is no products document: keeping it would skip every later lookup's fetch.
  if (result == kHTTPConnectorOK && status >= 200 && status < 300) text_ = std::move(body);
}
