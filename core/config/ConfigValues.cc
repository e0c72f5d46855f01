#include "core/config/ConfigValues.h"

#include "foundation/text/StringUtils.h"

std::string GetConfigValue(const ConfigStore& config, const std::string& key) {
  std::string value;
  config.find(key, value);
  return value;
}

void SetConfigValue(ConfigStore& config, const std::string& key, const std::string& value) {
  config.set(key, value);
}

void SetEnvironment(ConfigStore& config, const std::string& value) {
  config.set("environment", value);
}

std::string GetSapCode(ConfigStore& config) {
  return StringUtils::utilToUpper(config.getOrInsert("sapCode"));
}
std::string GetEnvironment(ConfigStore& config) {
  return StringUtils::utilToUpper(config.getOrInsert("environment"));
}
std::string GetVersion(ConfigStore& config) {
  return config.getOrInsert("version");
}
std::string GetProductName(ConfigStore& config) {
  return config.getOrInsert("productName");
}
std::string GetLocale(ConfigStore& config) {
  return config.getOrInsert("locale");
}
std::string GetContextID(ConfigStore& config) {
  return config.getOrInsert("contextID");
}
std::string GetMinimumOsVersion(ConfigStore& config) {
  return config.getOrInsert("minimumOsVersion");
}
std::string GetActionList(ConfigStore& config) {
  return config.getOrInsert("actionList");
}

std::string GetWendExp(ConfigStore& config) {
  const std::string value = config.getOrInsert("wendExp");
  return value.empty() ? "default" : value;
}

bool GetShowSurvey(ConfigStore& config) {
  const std::string value = config.getOrInsert("showSurvey");
  return value.empty() || value == "true";
}

bool GetCheckForCompatibility(ConfigStore& config) {
  const std::string value = config.getOrInsert("checkForCompatibility");
  return !value.empty() && value != "false";
}

std::string GetContextParams(ConfigStore& config) {
  return config.getOrInsert("contextParams");
}
std::string GetUserGuid(ConfigStore& config) {
  return config.getOrInsert("userGuid");
}
std::string GetMid(ConfigStore& config) {
  return config.getOrInsert("mid");
}
std::string GetAid(ConfigStore& config) {
  return config.getOrInsert("aid");
}
std::string GetTallyVersion(ConfigStore& config) {
  return config.getOrInsert("TallyVersion");
}
std::string GetQuarryUuid(ConfigStore& config) {
  return config.getOrInsert("quarry_uuid");
}
std::string GetManifestUrl(ConfigStore& config) {
  return config.getOrInsert("manifestUrl");
}
