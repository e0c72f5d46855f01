#pragma once

#include <string>

class IBundleResources;
namespace Json {
class Value;
}  // namespace Json

// The page's texts for a locale: the bundle resource "Dictionary/<locale>.json", UTF-8 or UTF-16,
// returned as UTF-8. Stateless; callable from any thread.
namespace mediation {

// The locale every dictionary falls back to, text by text.
inline constexpr char kEnglishLocale[] = "en_US";

// A locale that is not made of letters, digits, "_" and "-", or has no dictionary, becomes "en_US"
// (the caller sees the change: the page receives it). "" when "en_US" has none either, or when
// the dictionary is there but its text is neither UTF-8 nor UTF-16 with a byte-order mark (the
// locale is kept; logged).
std::string LoadLocalizationDictionary(std::string& locale, const IBundleResources& resources);

// `key`'s text as the page shows it: the dictionary's message when it is a non-empty string, else
// the English dictionary's, else "". Either dictionary may be of any shape.
std::string LocalizedMessage(const Json::Value& dictionary, const Json::Value& english,
                             const std::string& key);

}  // namespace mediation
