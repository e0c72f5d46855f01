#include "foundation/system/Locale.h"

#include <strings.h>

#include <cstdlib>
#include <initializer_list>

namespace {

struct LocaleKeys {
  const char* code;
  std::initializer_list<const char*> keys;
};

// Per code: the bare language (first code of a language only), "-" lower case, the code itself,
// "_" lower case; Chinese adds its script keys and sends Hong Kong to traditional.
const LocaleKeys kLocaleKeys[] = {
    {"cs_CZ", {"cs", "cs-cz", "cs_CZ", "cs_cz"}},
    {"da_DK", {"da", "da-dk", "da_DK", "da_dk"}},
    {"de_DE", {"de", "de-de", "de_DE", "de_de"}},
    {"el_GR", {"el", "el-gr", "el_GR", "el_gr"}},
    {"en_US", {"en", "en-us", "en_US", "en_us"}},
    {"en_GB", {"en-gb", "en_GB", "en_gb"}},
    {"es_ES", {"es", "es-es", "es_ES", "es_es"}},
    {"es_LA", {"es-la", "es_LA", "es_la"}},
    {"es_NA", {"es-na", "es_NA", "es_na"}},
    {"fi_FI", {"fi", "fi-fi", "fi_FI", "fi_fi"}},
    {"fr_FR", {"fr", "fr-fr", "fr_FR", "fr_fr"}},
    {"fr_CA", {"fr-ca", "fr_CA", "fr_ca"}},
    {"hu_HU", {"hu", "hu-hu", "hu_HU", "hu_hu"}},
    {"it_IT", {"it", "it-it", "it_IT", "it_it"}},
    {"ja_JP", {"ja", "ja-jp", "ja_JP", "ja_jp"}},
    {"ko_KR", {"ko", "ko-kr", "ko_KR", "ko_kr"}},
    {"nb_NO", {"nb", "nb-no", "nb_NO", "nb_no"}},
    {"nl_NL", {"nl", "nl-nl", "nl_NL", "nl_nl"}},
    {"pl_PL", {"pl", "pl-pl", "pl_PL", "pl_pl"}},
    {"pt_BR", {"pt", "pt-br", "pt_BR", "pt_br"}},
    {"ro_RO", {"ro", "ro-ro", "ro_RO", "ro_ro"}},
    {"ru_RU", {"ru", "ru-ru", "ru_RU", "ru_ru"}},
    {"sv_SE", {"sv", "sv-se", "sv_SE", "sv_se"}},
    {"tr_TR", {"tr", "tr-tr", "tr_TR", "tr_tr"}},
    {"uk_UA", {"uk", "uk-ua", "uk_UA", "uk_ua"}},
    {"zh_CN", {"zh", "zh-cn", "zh_CN", "zh_cn", "zh-Hans"}},
    {"zh_TW", {"zh-hk", "zh_HK", "zh-Hant", "zh-tw", "zh_TW", "zh_tw"}},
};

constexpr char kFallback[] = "en_US";

bool lookUp(const std::string& key, std::string& out) {
  const auto& table = getLocaleMap();
  const auto found = table.find(key);
  if (found == table.end()) return false;
  out = found->second;
  return true;
}

std::string asciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// "de_DE.UTF-8@euro" -> "de_DE"; "C" and "POSIX" name no language.
std::string languageOf(const std::string& posixLocale) {
  std::string language = posixLocale.substr(0, posixLocale.find_first_of(".@"));
  return language == "C" || language == "POSIX" ? "" : language;
}

std::string firstLocaleVariable() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return value;
  }
  return "";
}

bool isMaghrebLocale(const std::string& identifier) {
  for (const char* maghreb : {"ar_DZ", "ar_TN", "ar_MA"}) {
    if (strcasecmp(identifier.c_str(), maghreb) == 0) return true;
  }
  return false;
}

}  // namespace

const std::map<std::string, std::string>& getLocaleMap() {
  // A function-local static is initialised exactly once, whichever thread comes first.
  static const std::map<std::string, std::string> table = [] {
    std::map<std::string, std::string> keys;
    for (const LocaleKeys& entry : kLocaleKeys) {
      for (const char* key : entry.keys) keys.emplace(key, entry.code);
    }
    return keys;
  }();
  return table;
}

bool normalizeLocale(const std::string& key, std::string& out) {
  std::string current = key;
  if (lookUp(current, out)) return true;
  if (current.size() >= 8) {
    current.resize(7);
    if (lookUp(current, out)) return true;
  }
  if (current.size() >= 6) {
    current.resize(5);
    if (lookUp(current, out)) return true;
  }
  current = asciiLower(current);
  if (lookUp(current, out)) return true;
  if (current.size() < 3) return false;
  current.resize(2);
  return lookUp(current, out);
}

LocalePreferences systemLocalePreferences() {
  LocalePreferences preferences;
  const char* list = std::getenv("LANGUAGE");
  std::string languages = list ? list : "";
  for (size_t start = 0; start <= languages.size();) {
    size_t end = languages.find(':', start);
    if (end == std::string::npos) end = languages.size();
    std::string language = languageOf(languages.substr(start, end - start));
    if (!language.empty()) preferences.preferredLanguages.push_back(language);
    start = end + 1;
  }
  const std::string variable = firstLocaleVariable();
  if (!languageOf(variable).empty()) {
    preferences.preferredLanguages.push_back(languageOf(variable));
    preferences.currentLocale = languageOf(variable);
  }
  return preferences;
}

bool getPreferredLocale(std::string& out, const LocalePreferences& preferences) {
  for (const std::string& language : preferences.preferredLanguages) {
    if (strcasecmp(language.c_str(), "ar") == 0) {
      out = isMaghrebLocale(preferences.currentLocale) ? "fr_MA" : "en_AE";
      return true;
    }
    if (strcasecmp(language.c_str(), "he") == 0) {
      out = "en_IL";
      return true;
    }
    if (normalizeLocale(language, out)) return true;
  }
  if (out.empty()) out = kFallback;
  return true;
}

bool getPreferredLocale(std::string& out) {
  return getPreferredLocale(out, systemLocalePreferences());
}
