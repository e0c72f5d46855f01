#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "foundation/json/FastWriter.h"
#include "foundation/json/Features.h"
#include "foundation/json/Reader.h"

namespace Json {
namespace {

std::string compact(const Value& value) {
  return FastWriter().write(value);
}

Value arrayOf(std::initializer_list<Value> elements) {
  Value array(arrayValue);
  for (const Value& element : elements) array.append(element);
  return array;
}

// Members in case-insensitive order, no blanks, comments left out.
TEST(FastWriterTest, WritesDocumentsCompactly) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"b":[1, 2], "A":"x", "c":{}})", R"({"A":"x","b":[1,2],"c":{}})"},
      {"[ ]", "[]"},
      {"{ }", "{}"},
      {"null", "null"},
      {"[true, false]", "[true,false]"},
      {"18446744073709551615", "18446744073709551615"},
      {"/* root */ {\"a\":1 // one\n}", R"({"a":1})"},
  };
  for (const auto& [text, expected] : cases) {
    Value value;
    ASSERT_TRUE(Reader(Features()).parse(text, value)) << text;
    EXPECT_EQ(std::string(expected) + "\n", compact(value)) << text;
  }
  EXPECT_EQ("[1,0.10000000000000001,null,1e+9999,-1e+9999]\n",
            compact(arrayOf({1.0, 0.1, std::nan(""), HUGE_VAL, -HUGE_VAL})));
}

TEST(FastWriterTest, ARealWrittenAndReadBackMayComeBackAsAnInteger) {
  Value root;
  Reader reader{Features()};
  ASSERT_TRUE(reader.parse(compact(arrayOf({1.0, std::nan(""), 2.5})), root));
  EXPECT_EQ(intValue, root[0].type());
  EXPECT_EQ(1, root[0].asLargestInt());
  EXPECT_TRUE(root[1].isNull());
  EXPECT_EQ(realValue, root[2].type());
}

TEST(FastWriterTest, EscapesQuotesBackslashesAndControlBytesOnly) {
  EXPECT_EQ("\"\\\"\\\\\\b\\f\\n\\r\\t\\u0001\\u001F\"\n",
            compact(Value("\"\\\b\f\n\r\t\x01\x1f")));
  EXPECT_EQ("\"a\\u0000b\"\n", compact(Value(std::string("a\0b", 3))));
  const std::string text = "a/b\x7f\xc3\xa9\xf0\x9f\x98\x80";
  EXPECT_EQ("\"" + text + "\"\n", compact(Value(text))) << "slash, DEL and UTF-8 pass unchanged";
}

// The writers never emit bytes that are not UTF-8: each stray byte becomes U+FFFD, in strings and
// member names, compact and styled alike.
TEST(FastWriterTest, WritesEachByteThatIsNotUTF8AsAReplacementCharacter) {
  const std::string fffd = "\xEF\xBF\xBD";
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"a\xFF"
       "b",
       "a" + fffd + "b"},
      {"\xC3", fffd},                                   // cut short
      {"\xC0\xAF", fffd + fffd},                        // overlong
      {"\xED\xA0\x80", fffd + fffd + fffd},             // an encoded surrogate
      {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},  // above U+10FFFF
      {"\xC3\xA9\xF0\x9F\x98\x80", "\xC3\xA9\xF0\x9F\x98\x80"},
  };
  for (const Case& c : cases) {
    Value object;
    object[c.in] = c.in;
    EXPECT_EQ("{\"" + c.out + "\":\"" + c.out + "\"}\n", compact(object)) << c.in;
    EXPECT_EQ("{\n   \"" + c.out + "\" : \"" + c.out + "\"\n}\n", object.toStyledString());
  }
}

TEST(FastWriterTest, WritesAStringWithoutStorageAsEmptyQuotesHolesAsNullAndNamesWhole) {
  Value object;
  object["a"] = Value(stringValue);
  object["b"][2] = 1;
  object[std::string("c\0d\"", 4)] = 1;
  EXPECT_EQ("{\"a\":\"\",\"b\":[null,null,1],\"c\\u0000d\\\"\":1}\n", compact(object));
}

TEST(FastWriterTest, OptionsChangeSeparatorNullsAndLineEnd) {
  Value object;
  object["a"] = Value();
  object["b"] = arrayOf({Value(), 1});

  FastWriter yaml;
  yaml.enableYAMLCompatibility();
  EXPECT_EQ("{\"a\": null,\"b\": [null,1]}\n", yaml.write(object));

  FastWriter dropping;
  dropping.dropNullPlaceholders();
  EXPECT_EQ("{\"a\":,\"b\":[,1]}\n", dropping.write(object));

  FastWriter noLineFeed;
  noLineFeed.omitEndingLineFeed();
  EXPECT_EQ("{\"a\":null,\"b\":[null,1]}", noLineFeed.write(object));
}

}  // namespace
}  // namespace Json
