#pragma once

#include <string>

#include "core/config/ConfigStore.h"

// One reader per configuration key, and the writers the other sources use. Every per-key getter
// inserts its key with an empty value when it is absent (the key then travels in the "<config/>"
// document); GetConfigValue never inserts. Upper-casing changes ASCII letters only. Thread rules
// are the store's.

std::string GetConfigValue(const ConfigStore& config, const std::string& key);
void SetConfigValue(ConfigStore& config, const std::string& key, const std::string& value);
void SetEnvironment(ConfigStore& config, const std::string& value);

std::string GetSapCode(ConfigStore& config);      // upper case
std::string GetEnvironment(ConfigStore& config);  // upper case
std::string GetVersion(ConfigStore& config);
std::string GetProductName(ConfigStore& config);
std::string GetLocale(ConfigStore& config);
std::string GetContextID(ConfigStore& config);
std::string GetMinimumOsVersion(ConfigStore& config);
std::string GetActionList(ConfigStore& config);
std::string GetWendExp(ConfigStore& config);  // "default" when empty
// True when empty; otherwise only for exactly "true".
bool GetShowSurvey(ConfigStore& config);
// False when empty; otherwise true unless exactly "false".
bool GetCheckForCompatibility(ConfigStore& config);
std::string GetContextParams(ConfigStore& config);
std::string GetUserGuid(ConfigStore& config);
std::string GetMid(ConfigStore& config);
std::string GetAid(ConfigStore& config);
std::string GetTallyVersion(ConfigStore& config);
std::string GetQuarryUuid(ConfigStore& config);
std::string GetManifestUrl(ConfigStore& config);
