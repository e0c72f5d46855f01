#include <gtest/gtest.h>

#include <map>

#include "core/config/EmbeddedConfig.h"

namespace {

using Map = std::map<std::string, std::string>;

struct JsonCase {
  const char* name;
  std::string json;
  bool result;
  Map expected;  // the whole store afterwards, starting from {"sapCode": "BUNDLE"}
};

void PrintTo(const JsonCase& c, std::ostream* os) {
  *os << c.name;
}

class EmbeddedJson : public ::testing::TestWithParam<JsonCase> {};

TEST_P(EmbeddedJson, StoresWhatTheDetailsCarry) {
  ConfigStore config;
  config.set("sapCode", "BUNDLE");
  EXPECT_EQ(ParseEmbeddedConfigJson(config, GetParam().json), GetParam().result);
  EXPECT_EQ(config.snapshot(), GetParam().expected);
}

const std::string kNull = "null\n";

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
                 {{"sapCode", "abc"},
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
                  {"checkForCompatibility", "true"},
                  {"contextParams", kNull},
                  {"userGuid", ""}}},
        JsonCase{"EmptyAndNullKeepTheBundleValue",
                 R"({"sapcode":"","version":null,"productName":12.5})",
                 true,
                 {{"sapCode", "BUNDLE"},
                  {"productName", "12.5"},
                  {"contextParams", kNull},
                  {"userGuid", ""}}},
        JsonCase{"ContextParamsAreDecodedAndRead",
                 R"({"contextParams":{"userGuid":"%41%62","mid":"m","aid":"","wendExp":"x",
                     "TallyVersion":3,"quarry_uuid":"q"}})",
                 true,
                 {{"sapCode", "BUNDLE"},
                  {"contextParams",
                   "{\n   \"aid\" : \"\",\n   \"mid\" : \"m\",\n   \"quarry_uuid\" : \"q\",\n"
                   "   \"TallyVersion\" : 3,\n   \"userGuid\" : \"Ab\",\n"
                   "   \"wendExp\" : \"x\"\n}\n"},
                  {"userGuid", "Ab"},
                  {"mid", "m"},
                  {"wendExp", "x"},
                  {"TallyVersion", "3"},
                  {"quarry_uuid", "q"}}},
        JsonCase{"PlatformBlockFallsBackToOsx10",
                 R"({"architectures":{"osx10-64":{},"osx10":{"productSize":123,
                     "minimumSupportedOSVersion":"10.12"}}})",
                 true,
                 {{"sapCode", "BUNDLE"},
                  {"contextParams", kNull},
                  {"userGuid", ""},
                  {"productSize", "123"},
                  {"minimumOsVersion", "10.12"}}},
        JsonCase{"PlatformBlockPrefers64Bit",
                 R"({"architectures":{"osx10-64":{"productSize":"9"},"osx10":{"productSize":1}}})",
                 true,
                 {{"sapCode", "BUNDLE"},
                  {"contextParams", kNull},
                  {"userGuid", ""},
                  {"productSize", "9"}}},
        JsonCase{"NullRootStoresOnlyTheContext",
                 "null",
                 true,
                 {{"sapCode", "BUNDLE"}, {"contextParams", kNull}, {"userGuid", ""}}},
        JsonCase{
            "CommentsAreAllowed",
            "/* x */ {\"version\": \"2\"} // y",
            true,
            {{"sapCode", "BUNDLE"}, {"version", "2"}, {"contextParams", kNull}, {"userGuid", ""}}},
        // Wrong types: what cannot be a scalar reads as empty, never throws.
        JsonCase{"ArraysAndObjectsWhereScalarsBelong",
                 R"({"sapcode":["x"],"version":{"a":1},"architectures":[1],"productName":"P"})",
                 true,
                 {{"sapCode", "BUNDLE"},
                  {"productName", "P"},
                  {"contextParams", kNull},
                  {"userGuid", ""}}},
        JsonCase{"PlatformMembersOfTheWrongType",
                 R"({"architectures":{"osx10-64":"text","osx10":{"productSize":1}}})",
                 true,
                 {{"sapCode", "BUNDLE"}, {"contextParams", kNull}, {"userGuid", ""}}},
        JsonCase{"ContextValuesOfTheWrongType",
                 R"({"contextParams":{"userGuid":[1],"mid":{}}})",
                 true,
                 {{"sapCode", "BUNDLE"},
                  {"contextParams", "{\n   \"mid\" : {},\n   \"userGuid\" : [ 1 ]\n}\n"},
                  {"userGuid", ""}}},
        JsonCase{"NotJson", "{\"version\": ", false, {{"sapCode", "BUNDLE"}}},
        JsonCase{"ArrayRoot", "[{\"version\":\"1\"}]", false, {{"sapCode", "BUNDLE"}}},
        JsonCase{"StringRoot", "\"text\"", false, {{"sapCode", "BUNDLE"}}},
        JsonCase{"ContextThatDecodesToBrokenJson",
                 R"({"version":"1","contextParams":{"a":"%22"},"architectures":
                     {"osx10":{"productSize":5}}})",
                 false,
                 {{"sapCode", "BUNDLE"},
                  {"version", "1"},
                  {"contextParams", "{\n   \"a\" : \"\"\"\n}\n"}}},
        JsonCase{"ContextThatIsAnArray",
                 R"({"contextParams":["u"]})",
                 false,
                 {{"sapCode", "BUNDLE"}, {"contextParams", "[ \"u\" ]\n"}}},
        JsonCase{"ContextThatIsAString",
                 R"({"contextParams":"x"})",
                 false,
                 {{"sapCode", "BUNDLE"}, {"contextParams", "\"x\"\n"}}}),
    [](const auto& param) { return std::string(param.param.name); });

struct DecodeCase {
  std::string text;
  std::string decoded;
};

void PrintTo(const DecodeCase& c, std::ostream* os) {
  *os << ::testing::PrintToString(c.text);
}

class UrlDecoding : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(UrlDecoding, DecodesEachEscapeOnce) {
  EXPECT_EQ(UrlDecode(GetParam().text), GetParam().decoded);
}

INSTANTIATE_TEST_SUITE_P(Table, UrlDecoding,
                         ::testing::Values(DecodeCase{"", ""}, DecodeCase{"%4", "%4"},
                                           DecodeCase{"%41", "A"}, DecodeCase{"a%41", "aA"},
                                           DecodeCase{"%41%62", "Ab"}, DecodeCase{"%2541", "%41"},
                                           DecodeCase{"a+b", "a+b"}, DecodeCase{"%zz%4", "%zz%4"},
                                           DecodeCase{"%e9%E9", "\xe9\xe9"},
                                           DecodeCase{"x%00y", std::string("x\0y", 3)},
                                           DecodeCase{"%%41", "%A"}, DecodeCase{"ab%", "ab%"}));

}  // namespace
