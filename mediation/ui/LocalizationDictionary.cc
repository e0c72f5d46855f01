#include "mediation/ui/LocalizationDictionary.h"

#include "core/context/ContextParts.h"
#include "foundation/json/Value.h"
#include "foundation/logging/LogCallback.h"
#include "foundation/text/Utf8.h"

namespace mediation {
namespace {

constexpr char kComponent[] = "LocalizationDictionary";

// The locale names a file: nothing that could leave the dictionary folder.
bool isLocaleName(const std::string& locale) {
  if (locale.empty()) return false;
  for (char c : locale) {
    bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                   c == '_' || c == '-';
    if (!allowed) return false;
  }
  return true;
}

bool startsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// False for text that is neither UTF-8 nor UTF-16 with a byte-order mark.
bool decode(const std::string& text, std::string& utf8) {
  if (Utf8::fromMarkedUtf16(text, utf8)) return true;
  if (!Utf8::isValid(text)) return false;
  utf8 = startsWith(text, "\xEF\xBB\xBF") ? text.substr(3) : text;
  return true;
}

std::string dictionaryName(const std::string& locale) {
  return "Dictionary/" + locale;
}

// As the page reads an entry: only a non-empty string is a text to show.
std::string messageOf(const Json::Value& dictionary, const std::string& key) {
  if (!dictionary.isObject()) return "";
  const Json::Value& entry = dictionary[key];
  if (!entry.isObject()) return "";
  const Json::Value& message = entry["message"];
  return message.type() == Json::stringValue ? message.asString() : "";
}

}  // namespace

std::string LoadLocalizationDictionary(std::string& locale, const IBundleResources& resources) {
  if (!isLocaleName(locale) || !resources.hasResource(dictionaryName(locale), "json")) {
    locale = kEnglishLocale;
    if (!resources.hasResource(dictionaryName(locale), "json")) return "";
  }
  std::string text;
  std::string utf8;
  if (!resources.readResource(dictionaryName(locale), "json", text) || !decode(text, utf8)) {
    LogCallback(pando::kLogError, kBootstrapperModule, kComponent, "", "",
                "The dictionary of locale %s cannot be decoded", locale.c_str());
    return "";
  }
  return utf8;
}

std::string LocalizedMessage(const Json::Value& dictionary, const Json::Value& english,
                             const std::string& key) {
  std::string text = messageOf(dictionary, key);
  return text.empty() ? messageOf(english, key) : text;
}

}  // namespace mediation
