#include "mediation/ui/LocalizationDictionary.h"

#include "core/context/ContextParts.h"
#include "foundation/text/Utf8.h"

namespace mediation {
namespace {

constexpr char kFallbackLocale[] = "en_US";

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

std::string asUtf8(const std::string& text) {
  std::string converted;
  if (startsWith(text, "\xFF\xFE") || startsWith(text, "\xFE\xFF")) {
    return Utf8::fromUtf16(text, converted) ? converted : "";
  }
  if (Utf8::isValid(text)) return startsWith(text, "\xEF\xBB\xBF") ? text.substr(3) : text;
  return Utf8::fromUtf16(text, converted) ? converted : "";
}

}  // namespace

std::string LoadLocalizationDictionary(std::string& locale, const IBundleResources& resources) {
  std::string text;
  if (!isLocaleName(locale) || !resources.readResource("Dictionary/" + locale, "json", text)) {
    locale = kFallbackLocale;
    if (!resources.readResource(std::string("Dictionary/") + kFallbackLocale, "json", text)) {
      return "";
    }
  }
  return asUtf8(text);
}

}  // namespace mediation
