#include <gtest/gtest.h>

#include <map>

#include "core/context/BundleResources.h"
#include "core/context/ContextParts.h"
#include "foundation/json/Reader.h"
#include "foundation/json/Value.h"
#include "mediation/ui/LocalizationDictionary.h"
#include "mediation/ui/MenuTitles.h"
#include "tests/support/TemporaryFolder.h"

namespace mediation {
namespace {

class MapResources final : public IBundleResources {
 public:
  std::map<std::string, std::string> files;
  bool readResource(const std::string& name, const std::string& type,
                    std::string& text) const override {
    auto it = files.find(name + "." + type);
    if (it == files.end()) return false;
    text = it->second;
    return true;
  }
};

std::string utf16le(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

TEST(LocalizationDictionary, LocaleFallsBackToEnglish) {
  MapResources resources;
  resources.files["Dictionary/en_US.json"] = utf16le("{\"a\":1}");
  resources.files["Dictionary/fr_FR.json"] = "{\"b\":\"\xC3\xA9\"}";
  resources.files["Dictionary/../x.json"] = "planted";
  struct Row {
    const char *locale, *after, *text;
  } rows[] = {
      {"fr_FR", "fr_FR", "{\"b\":\"\xC3\xA9\"}"},
      {"en_US", "en_US", "{\"a\":1}"},
      {"xx_YY", "en_US", "{\"a\":1}"},
      {"../x", "en_US", "{\"a\":1}"},
      {"", "en_US", "{\"a\":1}"},
  };
  for (const Row& row : rows) {
    std::string locale = row.locale;
    EXPECT_EQ(LoadLocalizationDictionary(locale, resources), row.text) << row.locale;
    EXPECT_EQ(locale, row.after);
  }
}

TEST(LocalizationDictionary, NoUsableDictionaryIsEmpty) {
  MapResources resources;
  std::string locale = "de_DE";
  EXPECT_EQ(LoadLocalizationDictionary(locale, resources), "");
  EXPECT_EQ(locale, "en_US");
  resources.files["Dictionary/en_US.json"] = "\xFF\xFE{";  // odd length after the mark
  EXPECT_EQ(LoadLocalizationDictionary(locale, resources), "");
  resources.files["Dictionary/en_US.json"] = "\xEF\xBB\xBF{}";
  EXPECT_EQ(LoadLocalizationDictionary(locale, resources), "{}");
}

// Read as big-endian UTF-16, a broken dictionary became a page of CJK text.
TEST(LocalizationDictionary, DictionaryThatCannotBeDecodedKeepsItsLocaleWithEmptyText) {
  const std::string broken = "{\"b\":\"\xC3\x28\"}";
  MapResources map;
  map.files["Dictionary/en_US.json"] = "{}";
  map.files["Dictionary/fr_FR.json"] = broken;
  wendtest::TemporaryFolder folder;
  std::filesystem::create_directories(folder / "Dictionary");
  wendtest::writeFile(folder / "Dictionary/en_US.json", "{}");
  wendtest::writeFile(folder / "Dictionary/fr_FR.json", broken);
  FolderBundleResources files(folder.path());
  for (const IBundleResources* resources :
       {static_cast<const IBundleResources*>(&map), static_cast<const IBundleResources*>(&files)}) {
    std::string locale = "fr_FR";
    EXPECT_EQ(LoadLocalizationDictionary(locale, *resources), "");
    EXPECT_EQ(locale, "fr_FR");
  }
}

Json::Value parsed(const std::string& text) {
  Json::Value value;
  Json::Reader reader{Json::Features{}};
  EXPECT_TRUE(reader.parse(text, value, true)) << text;
  return value;
}

// As the page reads a text: the locale's when it is a string with words, else the English one.
TEST(LocalizedMessage, TextsTheLocaleLacksAreTheEnglishOnes) {
  const Json::Value english = parsed(
      R"({"Select": {"message": "Choose"}, "Title": {"message": "Installer"},
          "Blank": {"message": "Sign in"}, "Number": {"message": "Quit"}})");
  const Json::Value locale = parsed(
      R"({"Title": {"message": "Installationsprogramm"}, "Blank": {"message": ""},
          "Number": {"message": 5}, "Plain": "Nur Text"})");
  const struct {
    const char *key, *text;
  } rows[] = {
      {"Title", "Installationsprogramm"},
      {"Select", "Choose"},
      {"Blank", "Sign in"},
      {"Number", "Quit"},
      {"Plain", ""},
      {"Nowhere", ""},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(LocalizedMessage(locale, english, row.key), row.text) << row.key;
  }
  // A dictionary that did not load is no object: only the other one speaks.
  EXPECT_EQ(LocalizedMessage(Json::Value(), english, "Select"), "Choose");
  EXPECT_EQ(LocalizedMessage(locale, parsed("[1]"), "Select"), "");
}

TEST(MenuTitles, ItemsTakeTheirTextsWithTheProductName) {
  std::map<std::string, std::string> texts = {
      {"MenuHelp", "{0} Help"}, {"MenuQuit", "Quit {0} ({0})"}, {"MenuEmpty", ""}};
  std::vector<MenuTitle> menu = {
      {"App", false, {{"Quit", false, {}}, {"", true, {}}, {"Unknown", false, {}}}},
      {"Help", false, {{"Empty", false, {}}}},
  };
  localizeMenu(
      menu,
      [&](const std::string& key) {
        auto it = texts.find(key);
        return it == texts.end() ? std::string() : it->second;
      },
      "Orvel {0}");
  EXPECT_EQ(menu[0].title, "App");
  EXPECT_EQ(menu[0].submenu[0].title, "Quit Orvel {0} (Orvel {0})");
  EXPECT_EQ(menu[0].submenu[1].title, "");
  EXPECT_EQ(menu[0].submenu[2].title, "Unknown");
  EXPECT_EQ(menu[1].title, "Orvel {0} Help");
  EXPECT_EQ(menu[1].submenu[0].title, "Empty");
}

}  // namespace
}  // namespace mediation
