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

TEST(FastWriterTest, WritesMembersInCaseInsensitiveOrderWithoutBlanks) {
  Value object;
  object["b"] = arrayOf({1, 2});
  object["A"] = "x";
  object["c"] = Value(objectValue);
  EXPECT_EQ("{\"A\":\"x\",\"b\":[1,2],\"c\":{}}\n", compact(object));
}

TEST(FastWriterTest, WritesEmptyContainersAndScalars) {
  EXPECT_EQ("[]\n", compact(Value(arrayValue)));
  EXPECT_EQ("{}\n", compact(Value(objectValue)));
  EXPECT_EQ("null\n", compact(Value()));
  EXPECT_EQ("[true,false]\n", compact(arrayOf({true, false})));
  EXPECT_EQ("-9223372036854775808\n", compact(Value(INT64_MIN)));
  EXPECT_EQ("18446744073709551615\n", compact(Value(UINT64_MAX)));
}

TEST(FastWriterTest, WritesRealsWithSeventeenDigitsAndNoPointWhenIntegral) {
  EXPECT_EQ("0.5\n", compact(Value(0.5)));
  EXPECT_EQ("1\n", compact(Value(1.0)));
  EXPECT_EQ("0.10000000000000001\n", compact(Value(0.1)));
  EXPECT_EQ("1e+21\n", compact(Value(1e21)));
  EXPECT_EQ("null\n", compact(Value(std::nan(""))));
  EXPECT_EQ("[1e+9999,-1e+9999]\n", compact(arrayOf({HUGE_VAL, -HUGE_VAL})));
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

TEST(FastWriterTest, EscapesQuotesBackslashesAndControlBytes) {
  EXPECT_EQ("\"\\t\\u0001\"\n", compact(Value("\t\x01")));
  EXPECT_EQ("\"\\\"\\\\\\b\\f\\n\\r\\u001F\"\n", compact(Value("\"\\\b\f\n\r\x1f")));
  EXPECT_EQ("\"a\\u0000b\"\n", compact(Value(std::string("a\0b", 3))));
}

TEST(FastWriterTest, PassesSlashDeleteAndUtf8Unchanged) {
  const std::string text = "a/b\x7f\xc3\xa9\xf0\x9f\x98\x80";
  EXPECT_EQ("\"" + text + "\"\n", compact(Value(text)));
}

TEST(FastWriterTest, WritesAStringWithoutStorageAsEmptyQuotes) {
  Value object;
  object["a"] = Value(stringValue);
  EXPECT_EQ("{\"a\":\"\"}\n", compact(object));
}

TEST(FastWriterTest, WritesArrayHolesAsNull) {
  Value array;
  array[2] = 1;
  EXPECT_EQ("[null,null,1]\n", compact(array));
}

TEST(FastWriterTest, QuotesMemberNamesWithAllTheirBytes) {
  Value object;
  object[std::string("a\0b\"", 4)] = 1;
  EXPECT_EQ("{\"a\\u0000b\\\"\":1}\n", compact(object));
}

TEST(FastWriterTest, LeavesCommentsOut) {
  Value object;
  object["a"] = 1;
  object["a"].setComment("// one", commentAfterOnSameLine);
  object.setComment("/* root */", commentBefore);
  EXPECT_EQ("{\"a\":1}\n", compact(object));
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

TEST(FastWriterTest, StartsEachWriteWithAnEmptyDocument) {
  FastWriter writer;
  EXPECT_EQ("1\n", writer.write(Value(1)));
  EXPECT_EQ("2\n", writer.write(Value(2)));
}

}  // namespace
}  // namespace Json
