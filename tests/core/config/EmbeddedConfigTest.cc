#include <gtest/gtest.h>

#include <map>

#include "core/config/EmbeddedConfig.h"

namespace {

using Map = std::map<std::string, std::string>;

struct JsonCase {
  const char* name;
  std::string json;
  bool result;
  Map stored;  // what the parse adds to {"sapCode": "BUNDLE"}
};

void PrintTo(const JsonCase& c, std::ostream* os) {
  *os << c.name;
}

const std::string kNull = "null\n";
// What a document without "contextParams" stores.
const Map kNoContext = {{"contextParams", kNull}, {"userGuid", ""}};

Map with(Map stored, const Map& more = kNoContext) {
  stored.insert(more.begin(), more.end());
  return stored;
}

class EmbeddedJson : public ::testing::TestWithParam<JsonCase> {};

TEST_P(EmbeddedJson, StoresWhatTheDetailsCarry) {
  ConfigStore config;
  config.set("sapCode", "BUNDLE");
  EXPECT_EQ(ParseEmbeddedConfigJson(config, GetParam().json), GetParam().result);
  EXPECT_EQ(config.snapshot(), with(GetParam().stored, {{"sapCode", "BUNDLE"}}));
}

INSTANTIATE_TEST_SUITE_P(
    Table, EmbeddedJson,
    ::testing::Values(
        JsonCase{"EveryMemberCaseBlind",
                 R"({"SAPCODE":"abc","Version":"1.0","wendfeature":"f","environment":"stg",
                     "packageserviceurl":"p","CONTENTURL":"c","loomimManifestURL":"l",
                     "win32Version":"w","productName":"Tarn","contextId":"cid",
                     "showSurvey":false,"checkForCompatibility":true,"osType":"mac",
                     "locale":"de_DE"})",
                 true,
                 with({{"sapCode", "abc"},
                       {"version", "1.0"},
                       {"wendFeature", "f"},
                       {"environment", "stg"},
                       {"packageServiceUrl", "p"},
                       {"contentUrl", "c"},
                       {"loomimManifestUrl", "l"},
                       {"win32Version", "w"},
                       {"productName", "Tarn"},
                       {"contextID", "cid"},
                       {"showSurvey", "false"},
                       {"checkForCompatibility", "true"}})},
        JsonCase{"EmptyAndNullKeepTheBundleValue",
                 R"({"sapcode":"","version":null,"productName":12.5})", true,
                 with({{"productName", "12.5"}})},
        JsonCase{
            "ContextParamsAreDecodedAndRead",
            R"({"contextParams":{"userGuid":"%41%62","mid":"m","aid":"","wendExp":"x",
                     "TallyVersion":3,"quarry_uuid":"q"}})",
            true,
            {{"contextParams",
              "{\n   \"aid\" : \"\",\n   \"mid\" : \"m\",\n   \"quarry_uuid\" : \"q\",\n"
              "   \"TallyVersion\" : 3,\n   \"userGuid\" : \"Ab\",\n   \"wendExp\" : \"x\"\n}\n"},
             {"userGuid", "Ab"},
             {"mid", "m"},
             {"wendExp", "x"},
             {"TallyVersion", "3"},
             {"quarry_uuid", "q"}}},
        JsonCase{"PlatformBlockFallsBackToOsx10",
                 R"({"architectures":{"osx10-64":{},"osx10":{"productSize":123,
                     "minimumSupportedOSVersion":"10.12"}}})",
                 true, with({{"productSize", "123"}, {"minimumOsVersion", "10.12"}})},
        JsonCase{"PlatformBlockPrefers64Bit",
                 R"({"architectures":{"osx10-64":{"productSize":"9"},"osx10":{"productSize":1}}})",
                 true, with({{"productSize", "9"}})},
        JsonCase{"NullRootStoresOnlyTheContext", "null", true, kNoContext},
        // Wrong types: what cannot be a scalar reads as empty, never throws.
        JsonCase{"ArraysAndObjectsWhereScalarsBelong",
                 R"({"sapcode":["x"],"version":{"a":1},"architectures":[1],"productName":"P"})",
                 true, with({{"productName", "P"}})},
        JsonCase{"PlatformMembersOfTheWrongType",
                 R"({"architectures":{"osx10-64":"text","osx10":{"productSize":1}}})", true,
                 kNoContext},
        JsonCase{"ContextValuesOfTheWrongType",
                 R"({"contextParams":{"userGuid":[1],"mid":{}}})",
                 true,
                 {{"contextParams", "{\n   \"mid\" : {},\n   \"userGuid\" : [ 1 ]\n}\n"},
                  {"userGuid", ""}}},
        JsonCase{"NotJson", "{\"version\": ", false, {}},
        JsonCase{"ArrayRoot", "[{\"version\":\"1\"}]", false, {}},
        JsonCase{"ContextThatDecodesToBrokenJson",
                 R"({"version":"1","contextParams":{"a":"%22"},"architectures":
                     {"osx10":{"productSize":5}}})",
                 false,
                 {{"version", "1"}, {"contextParams", "{\n   \"a\" : \"\"\"\n}\n"}}},
        JsonCase{"ContextThatIsAString",
                 R"({"contextParams":"x"})",
                 false,
                 {{"contextParams", "\"x\"\n"}}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(UrlDecoding, DecodesEachEscapeOnce) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},       {"%4", "%4"},       {"%41", "A"},           {"%2541", "%41"},
      {"a+b", "a+b"}, {"%zz%4", "%zz%4"}, {"%e9%E9", "\xe9\xe9"}, {"x%00y", std::string("x\0y", 3)},
      {"%%41", "%A"}, {"ab%", "ab%"}};
  for (const auto& [text, decoded] : cases)
    EXPECT_EQ(UrlDecode(text), decoded) << ::testing::PrintToString(text);
}

}  // namespace
