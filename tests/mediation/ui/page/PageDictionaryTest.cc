#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "foundation/json/FastWriter.h"
#include "foundation/json/Features.h"
#include "foundation/json/Reader.h"
#include "foundation/json/Value.h"
#include "foundation/text/Utf8.h"

namespace {

const std::string kSources = WEND_SOURCE_DIR;
const std::string kPageSources = kSources + "/mediation/ui/page";
const char* const kLocales[] = {"en_US", "de_DE"};

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::set<std::string> matches(const std::string& text, const std::string& pattern) {
  std::set<std::string> found;
  const std::regex expression(pattern);
  for (std::sregex_iterator it(text.begin(), text.end(), expression), end; it != end; ++it) {
    found.insert((*it)[1]);
  }
  return found;
}

// Every text id the workflow's alert tables name: the quoted words of WorkflowAlerts.cc, less
// the few that are no text ids. Read from the source so a new alert cannot miss its texts.
std::set<std::string> workflowTextIds() {
  std::set<std::string> ids = matches(readFile(kSources + "/core/workflow/WorkflowAlerts.cc"),
                                      "\"([A-Z][A-Za-z0-9]{4,})\"");
  ids.erase("WorkflowManager");
  return ids;
}

// What the page itself looks up: the elements' texts and the ids its script names (less a key's
// and an event's name, the script's only other capitalised words).
std::set<std::string> pageTextIds() {
  const std::string page = readFile(kPageSources + "/main.html");
  std::set<std::string> ids = matches(page, "data-text=\"([^\"]+)\"");
  ids.merge(matches(page.substr(page.find("<script>")), "\"([A-Z][A-Za-z0-9]+)\""));
  ids.erase("Tab");
  ids.erase("DOMContentLoaded");
  return ids;
}

// The native side's own: window titles, the menus ("Menu" + their titles), the folder chooser's
// button, the sign-in error and the product's quit notification.
const std::set<std::string> kNativeIds = {
    "WindowTitle", "Type3WindowTitle",  "MenuApplication",           "MenuQuit {0}",
    "Select",      "ErrorSocialSignIn", "TarnLaunchNotificationBody"};

Json::Value parse(const std::string& text) {
  Json::Value root;
  Json::Reader reader{Json::Features()};
  EXPECT_TRUE(reader.parse(text, root, false)) << text.substr(0, 80);
  return root;
}

std::set<std::string> placeholders(const std::string& text) {
  return matches(text, "(\\{[a-z0-9]+\\})");
}

TEST(PageDictionaryTest, EveryLocaleHoldsEveryTextAsAMessage) {
  std::set<std::string> wanted = workflowTextIds();
  ASSERT_GT(wanted.size(), 60u);  // the scan found the tables
  ASSERT_TRUE(wanted.count("TarnInstallNetworkUnavailable") && wanted.count("InitErrorGeneric"));
  wanted.merge(pageTextIds());
  ASSERT_TRUE(wanted.count("TimeLeftAbout") && wanted.count("ErrorTitle"));
  wanted.insert(kNativeIds.begin(), kNativeIds.end());

  const Json::Value english = parse(readFile(kPageSources + "/Dictionary/en_US.json"));
  for (const char* locale : kLocales) {
    SCOPED_TRACE(locale);
    const Json::Value dictionary =
        parse(readFile(kPageSources + "/Dictionary/" + locale + ".json"));
    ASSERT_TRUE(dictionary.isObject());
    for (const std::string& id : wanted) {
      const Json::Value& entry = dictionary[id];
      ASSERT_TRUE(entry.isObject()) << id;
      const Json::Value& message = entry["message"];
      ASSERT_EQ(message.type(), Json::stringValue) << id;
      EXPECT_FALSE(message.asString().empty()) << id;
      // A translation fills in the same values as the original.
      EXPECT_EQ(placeholders(message.asString()), placeholders(english[id]["message"].asString()))
          << id;
    }
    for (const std::string& id : dictionary.getMemberNames()) {
      EXPECT_TRUE(wanted.count(id)) << id << " is used nowhere";
    }
  }
}

// The bundle keeps each dictionary as UTF-16LE behind a byte-order mark, the source's text, and
// the page with the English dictionary in its "english-texts" block.
TEST(PageDictionaryTest, BundleHoldsEachDictionaryAsUtf16) {
  for (const char* locale : kLocales) {
    SCOPED_TRACE(locale);
    const std::string source = readFile(kPageSources + "/Dictionary/" + locale + ".json");
    const std::string built = readFile(std::string(WEND_INSTALL_BUNDLE) +
                                       "/Contents/Resources/Dictionary/" + locale + ".json");
    ASSERT_EQ(built.substr(0, 2), "\xFF\xFE");
    std::string decoded;
    ASSERT_TRUE(Utf8::fromUtf16(built, decoded));
    EXPECT_TRUE(Utf8::isValid(source));
    EXPECT_EQ(decoded, source);
  }
  const std::string source = readFile(kPageSources + "/main.html");
  const std::string built =
      readFile(std::string(WEND_INSTALL_BUNDLE) + "/Contents/Resources/main.html");
  const std::string block = "<script type=\"application/json\" id=\"english-texts\">";
  const size_t start = source.find(block + "{}</script>");
  ASSERT_NE(start, std::string::npos);
  const size_t texts = start + block.size();
  const size_t end = built.find("</script>", texts);
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(built.substr(0, texts), source.substr(0, texts));
  EXPECT_EQ(built.substr(end), source.substr(texts + 2));
  Json::FastWriter writer;
  EXPECT_EQ(writer.write(parse(built.substr(texts, end - texts))),
            writer.write(parse(readFile(kPageSources + "/Dictionary/en_US.json"))));
}

}  // namespace
