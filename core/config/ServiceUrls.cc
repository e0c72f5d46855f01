#include "core/config/ServiceUrls.h"

#include <cstdlib>

#include "core/config/ConfigValues.h"
#include "foundation/text/StringUtils.h"
#include "platform/system/DeveloperOverrides.h"

namespace {

struct Hosts {
  const char* production;
  const char* stage;
  const char* qe;  // null where the service has no QE host
};

constexpr Hosts kConfigurationService = {"https://cfg.skyloom.example",
                                         "https://cfg-stage.skyloom.example",
                                         "https://cfg-qe.skyloom.example"};
constexpr Hosts kWebSite = {"https://www.skyloom.example", "https://www-stage.skyloom.example",
                            nullptr};
constexpr Hosts kNotificationService = {"https://notify.skyloom.example",
                                        "https://notify-stage.skyloom.example", nullptr};

std::string baseUrl(ConfigStore& config, const Hosts& hosts) {
  const std::string environment = GetEnvironment(config);
  if (auto local = platform::developerOverride("WEND_SERVICE_BASE")) return *local;
  if (environment == "STG" || environment == "STAGE") return hosts.stage;
  if (environment == "QE" && hosts.qe) return hosts.qe;
  return hosts.production;
}

std::string overridableUrl(ConfigStore& config, const char* key, const std::string& path) {
  std::string url;
  if (config.find(key, url)) return url;
  return GetServiceBaseUrl(config) + path;
}

std::string region(const std::string& locale) {
  if (locale == "fr_CA") return "ca_fr";
  if (locale == "pt_BR") return StringUtils::utilToLower(locale.substr(0, 2));
  return locale.size() > 3 ? StringUtils::utilToLower(locale.substr(3, 2)) : "";
}

}  // namespace

std::string GetServiceBaseUrl(ConfigStore& config) {
  return baseUrl(config, kConfigurationService);
}
std::string GetWebBaseUrl(ConfigStore& config) {
  return baseUrl(config, kWebSite);
}
std::string GetNotificationServiceBaseUrl(ConfigStore& config) {
  return baseUrl(config, kNotificationService);
}

std::string GetPackageServiceUrl(ConfigStore& config) {
  return overridableUrl(config, "packageServiceUrl", "/orvel-ffc-external/core/v1/applications");
}
std::string GetFeatureServiceUrl(ConfigStore& config) {
  return overridableUrl(config, "featureServiceUrl", "/orvel-ffc-external/core/v3/features");
}
std::string GetProductServiceUrl(ConfigStore& config) {
  return overridableUrl(config, "productServiceUrl",
                        "/orvel-ffc-external/core/v4/products/all?channel=loomm&channel=sti");
}
std::string GetContextServiceUrl(ConfigStore& config) {
  return GetServiceBaseUrl(config) + "/orvel-ffc-external/core/v2/context";
}
std::string GetSmsServiceUrl(ConfigStore& config) {
  return GetNotificationServiceBaseUrl(config) + "/ans/v1/sms";
}

std::string GetContentUrl(ConfigStore& config, const std::string& page, const std::string& locale) {
  std::string url;
  if (config.find("contentUrl", url)) return url;
  url = GetWebBaseUrl(config);
  const std::string localeRegion = region(locale);
  if (localeRegion != "us") url += "/" + localeRegion;
  return url + "/wend/" + StringUtils::utilToLower(page) + ".html?wend=true";
}
