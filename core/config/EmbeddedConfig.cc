#include "core/config/EmbeddedConfig.h"

#include <cstring>

#include "foundation/json/Reader.h"

namespace {

struct MemberKey {
  const char* member;
  const char* key;
};

const MemberKey kTopLevel[] = {
    {"sapcode", "sapCode"},
    {"version", "version"},
    {"wendFeature", "wendFeature"},
    {"environment", "environment"},
    {"packageServiceURL", "packageServiceUrl"},
    {"contentURL", "contentUrl"},
    {"loomimManifestURL", "loomimManifestUrl"},
    {"win32Version", "win32Version"},
    {"productName", "productName"},
    {"contextID", "contextID"},
    {"showSurvey", "showSurvey"},
    {"checkForCompatibility", "checkForCompatibility"},
};

// userGuid is stored even when empty; these only when they carry a value.
const char* const kContextMembers[] = {"mid", "aid", "TallyVersion", "wendExp", "quarry_uuid"};

const Json::Value& member(const Json::Value& object, const char* name) {
  if (!object.isObject()) return Json::Value::nullSingleton();
  const Json::Value* found = object.find(name, name + std::strlen(name));
  return found ? *found : Json::Value::nullSingleton();
}

// A scalar as text; null, arrays and objects read as "".
std::string scalarText(const Json::Value& value) {
  if (value.isNull() || value.isArray() || value.isObject()) return "";
  return value.asString();
}

void storeIfSet(ConfigStore& config, const char* key, const std::string& value) {
  if (!value.empty()) config.set(key, value);
}

bool readDocument(const std::string& text, Json::Value& root) {
  Json::Reader reader{Json::Features()};
  return reader.parse(text, root, true) && (root.isObject() || root.isNull());
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void storePlatformBlock(ConfigStore& config, const Json::Value& root) {
  const Json::Value& architectures = member(root, "architectures");
  const Json::Value* platform = &member(architectures, "osx10-64");
  if (platform->empty()) platform = &member(architectures, "osx10");
  storeIfSet(config, "minimumOsVersion",
             scalarText(member(*platform, "minimumSupportedOSVersion")));
  storeIfSet(config, "productSize", scalarText(member(*platform, "productSize")));
}

}  // namespace

bool ParseEmbeddedConfigJson(ConfigStore& config, const std::string& json) {
  Json::Value root;
  if (!readDocument(json, root)) return false;
  for (const MemberKey& entry : kTopLevel) {
    storeIfSet(config, entry.key, scalarText(member(root, entry.member)));
  }
  const std::string contextParams = UrlDecode(member(root, "contextParams").toStyledString());
  config.set("contextParams", contextParams);
  Json::Value context;
  if (!readDocument(contextParams, context)) return false;
  config.set("userGuid", scalarText(member(context, "userGuid")));
  for (const char* name : kContextMembers) {
    storeIfSet(config, name, scalarText(member(context, name)));
  }
  storePlatformBlock(config, root);
  return true;
}

std::string UrlDecode(const std::string& text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = hexDigit(text[i + 1]);
      const int low = hexDigit(text[i + 2]);
      if (high >= 0 && low >= 0) {
        decoded.push_back(static_cast<char>(high * 16 + low));
        i += 2;
        continue;
      }
    }
    decoded.push_back(text[i]);
  }
  return decoded;
}
