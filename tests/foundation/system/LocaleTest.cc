#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "foundation/system/Locale.h"
#include "tests/support/Environment.h"

namespace {

using wendtest::ScopedEnv;

TEST(LocaleSelection, PicksTheFirstLanguageThatDecides) {
  struct Case {
    std::vector<std::string> languages;
    std::string currentLocale, expected;
  } cases[] = {
      {{"en-GB"}, "", "en_GB"},       {{"EN"}, "", "en_US"},
      {{"en-AU"}, "", "en_US"},       {{"pt-PT"}, "", "pt_BR"},
      {{"de-CH"}, "", "de_DE"},       {{"es-419"}, "", "es_ES"},
      {{"zh-Hans-CN"}, "", "zh_CN"},  {{"zh-Hant-HK"}, "", "zh_TW"},
      {{"zh_HK"}, "", "zh_TW"},       {{"ZH-HANT-TW"}, "", "zh_CN"},
      {{"ar-SA", "fr"}, "", "fr_FR"}, {{"ar", "de"}, "ar_MA", "fr_MA"},
      {{"AR"}, "AR_dz", "fr_MA"},     {{"ar"}, "ar_EG", "en_AE"},
      {{"he", "de"}, "", "en_IL"},    {{"no", "nn", "ar-SA", "sv"}, "", "sv_SE"},
      {{"x", "no"}, "", "en_US"},     {{}, "", "en_US"},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_TRUE(getPreferredLocale(out, {c.languages, c.currentLocale}));
    EXPECT_EQ(out, c.expected) << ::testing::PrintToString(c.languages) << c.currentLocale;
  }
  std::string kept = "fr_FR";
  EXPECT_TRUE(getPreferredLocale(kept, {{"no"}, ""}));
  EXPECT_EQ(kept, "fr_FR");
  EXPECT_FALSE(normalizeLocale("nn", kept));
  EXPECT_FALSE(normalizeLocale("", kept));
  EXPECT_EQ(kept, "fr_FR");
}

TEST(LocaleFromEnvironment, ReadsTheVariablesInPrecedenceOrder) {
  struct Case {
    std::optional<std::string> language, lcAll, lcMessages, lang;
    std::vector<std::string> languages;
    std::string currentLocale, chosen;
  } cases[] = {
      {{}, {}, {}, {}, {}, "", "en_US"},
      {{}, {}, {}, "C.UTF-8", {}, "", "en_US"},
      {{}, {}, {}, "de_DE.UTF-8", {"de_DE"}, "de_DE", "de_DE"},
      {{}, "", "ja_JP.UTF-8", "de_DE", {"ja_JP"}, "ja_JP", "ja_JP"},
      {{}, "fr_CA.UTF-8@x", "ja_JP", "de_DE", {"fr_CA"}, "fr_CA", "fr_CA"},
      {"nn:sv::pt", {}, {}, "de_DE", {"nn", "sv", "pt", "de_DE"}, "de_DE", "sv_SE"},
      {"ar", {}, {}, "ar_MA.UTF-8", {"ar", "ar_MA"}, "ar_MA", "fr_MA"},
  };
  for (const Case& c : cases) {
    ScopedEnv language("LANGUAGE", c.language), all("LC_ALL", c.lcAll);
    ScopedEnv messages("LC_MESSAGES", c.lcMessages), lang("LANG", c.lang);
    const LocalePreferences preferences = systemLocalePreferences();
    EXPECT_EQ(preferences.preferredLanguages, c.languages) << c.chosen;
    EXPECT_EQ(preferences.currentLocale, c.currentLocale);
    std::string out;
    EXPECT_TRUE(getPreferredLocale(out));
    EXPECT_EQ(out, c.chosen);
  }
}

}  // namespace
