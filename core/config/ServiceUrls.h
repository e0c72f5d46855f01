#pragma once

#include <string>

#include "core/config/ConfigStore.h"

// The web endpoints, built from the configuration on every call: an override key, when present
// (even empty), is the whole URL; otherwise the base that `environment` selects plus a fixed path.
// Bases are HTTPS scheme and host without a trailing "/"; WEND_SERVICE_BASE, when set, replaces
// every base (tests and the demo point all services at one local server). Reading `environment`
// inserts it when absent, as its getter does. Never fails, never logs; thread rules are the
// store's.

// Configuration service: stage for "STG"/"STAGE", QE for "QE", production otherwise.
std::string GetServiceBaseUrl(ConfigStore& config);
// Web site and notification service: stage for "STG"/"STAGE", production otherwise.
std::string GetWebBaseUrl(ConfigStore& config);
std::string GetNotificationServiceBaseUrl(ConfigStore& config);

std::string GetPackageServiceUrl(ConfigStore& config);  // override `packageServiceUrl`
std::string GetFeatureServiceUrl(ConfigStore& config);  // override `featureServiceUrl`
std::string GetProductServiceUrl(ConfigStore& config);  // override `productServiceUrl`
std::string GetContextServiceUrl(ConfigStore& config);
std::string GetSmsServiceUrl(ConfigStore& config);

// The content page for `page` (lower-cased) in `locale`'s region (characters 4 and 5,
// lower-cased; "fr_CA" is "ca_fr", "pt_BR" is "pt", a locale of 3 characters or fewer has an
// empty region); "/" and the region come before "/wend/" unless the region is "us". The
// override `contentUrl` is returned as it stands.
std::string GetContentUrl(ConfigStore& config, const std::string& page, const std::string& locale);
