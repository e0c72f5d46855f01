#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "foundation/system/Locale.h"
#include "tests/support/Environment.h"

namespace {

using wendtest::ScopedEnv;

TEST(LocaleMap, HoldsEveryKeyForTheProductCodes) {
  const auto& table = getLocaleMap();
  EXPECT_EQ(table.size(), 107u);
  std::set<std::string> codes;
  for (const auto& [key, code] : table) codes.insert(code);
  EXPECT_EQ(codes.size(), 27u);
  EXPECT_EQ(table.at("zh_HK"), "zh_TW");
  EXPECT_EQ(table.count("es"), 1u);
  EXPECT_EQ(table.at("es"), "es_ES");
  EXPECT_EQ(table.count("en_AE"), 0u);
}

struct SelectionCase {
  std::vector<std::string> languages;
  std::string currentLocale;
  std::string expected;
};

void PrintTo(const SelectionCase& c, std::ostream* os) {
  for (const auto& language : c.languages) *os << language << " ";
  *os << "in " << c.currentLocale;
}

class LocaleSelection : public ::testing::TestWithParam<SelectionCase> {};

TEST_P(LocaleSelection, PicksTheFirstLanguageThatDecides) {
  std::string out;
  EXPECT_TRUE(getPreferredLocale(out, {GetParam().languages, GetParam().currentLocale}));
  EXPECT_EQ(out, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LocaleSelection,
    ::testing::Values(
        SelectionCase{{"en-GB"}, "", "en_GB"}, SelectionCase{{"EN"}, "", "en_US"},
        SelectionCase{{"en-AU"}, "", "en_US"}, SelectionCase{{"pt-PT"}, "", "pt_BR"},
        SelectionCase{{"de-CH"}, "", "de_DE"}, SelectionCase{{"es-MX"}, "", "es_ES"},
        SelectionCase{{"es-419"}, "", "es_ES"}, SelectionCase{{"zh-Hans-CN"}, "", "zh_CN"},
        SelectionCase{{"zh-Hant-TW"}, "", "zh_TW"}, SelectionCase{{"zh-Hant-HK"}, "", "zh_TW"},
        SelectionCase{{"zh-HK"}, "", "zh_TW"}, SelectionCase{{"zh_HK"}, "", "zh_TW"},
        SelectionCase{{"ZH-HANT-TW"}, "", "zh_CN"},
        SelectionCase{{"no", "nn", "ar-SA", "sv"}, "", "sv_SE"},
        SelectionCase{{"ar-SA", "fr"}, "", "fr_FR"}, SelectionCase{{"ar", "de"}, "ar_MA", "fr_MA"},
        SelectionCase{{"AR"}, "AR_dz", "fr_MA"}, SelectionCase{{"ar"}, "ar_EG", "en_AE"},
        SelectionCase{{"he", "de"}, "", "en_IL"}, SelectionCase{{"x", "no"}, "", "en_US"},
        SelectionCase{{}, "", "en_US"}));

TEST(LocaleSelectionOutput, KeepsAGivenValueWhenNothingMatches) {
  std::string out = "fr_FR";
  EXPECT_TRUE(getPreferredLocale(out, {{"no"}, ""}));
  EXPECT_EQ(out, "fr_FR");
}

TEST(LocaleNormalize, LeavesTheOutputAloneOnFailure) {
  std::string out = "kept";
  EXPECT_FALSE(normalizeLocale("nn", out));
  EXPECT_FALSE(normalizeLocale("", out));
  EXPECT_EQ(out, "kept");
}

struct EnvironmentCase {
  const char* language;
  const char* lcAll;
  const char* lcMessages;
  const char* lang;
  std::vector<std::string> languages;
  std::string currentLocale;
  std::string chosen;
};

void PrintTo(const EnvironmentCase& c, std::ostream* os) {
  *os << (c.language ? c.language : "-") << " " << (c.lcAll ? c.lcAll : "-") << " "
      << (c.lcMessages ? c.lcMessages : "-") << " " << (c.lang ? c.lang : "-");
}

class LocaleFromEnvironment : public ::testing::TestWithParam<EnvironmentCase> {};

TEST_P(LocaleFromEnvironment, ReadsTheVariablesInPrecedenceOrder) {
  const EnvironmentCase& c = GetParam();
  auto value = [](const char* text) {
    return text ? std::optional<std::string>(text) : std::nullopt;
  };
  ScopedEnv language("LANGUAGE", value(c.language));
  ScopedEnv all("LC_ALL", value(c.lcAll));
  ScopedEnv messages("LC_MESSAGES", value(c.lcMessages));
  ScopedEnv lang("LANG", value(c.lang));
  const LocalePreferences preferences = systemLocalePreferences();
  EXPECT_EQ(preferences.preferredLanguages, c.languages);
  EXPECT_EQ(preferences.currentLocale, c.currentLocale);
  std::string out;
  EXPECT_TRUE(getPreferredLocale(out));
  EXPECT_EQ(out, c.chosen);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LocaleFromEnvironment,
    ::testing::Values(
        EnvironmentCase{nullptr, nullptr, nullptr, nullptr, {}, "", "en_US"},
        EnvironmentCase{nullptr, nullptr, nullptr, "C.UTF-8", {}, "", "en_US"},
        EnvironmentCase{nullptr, nullptr, nullptr, "de_DE.UTF-8", {"de_DE"}, "de_DE", "de_DE"},
        EnvironmentCase{nullptr, "", "ja_JP.UTF-8", "de_DE", {"ja_JP"}, "ja_JP", "ja_JP"},
        EnvironmentCase{nullptr, "fr_CA.UTF-8@x", "ja_JP", "de_DE", {"fr_CA"}, "fr_CA", "fr_CA"},
        EnvironmentCase{
            "nn:sv::pt", nullptr, nullptr, "de_DE", {"nn", "sv", "pt", "de_DE"}, "de_DE", "sv_SE"},
        EnvironmentCase{"ar", nullptr, nullptr, "ar_MA.UTF-8", {"ar", "ar_MA"}, "ar_MA", "fr_MA"}));

}  // namespace
