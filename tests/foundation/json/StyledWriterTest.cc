#include <gtest/gtest.h>

#include <string>

#include "foundation/json/Features.h"
#include "foundation/json/Reader.h"
#include "foundation/json/StyledWriter.h"

namespace Json {
namespace {

std::string styled(const Value& value) {
  return StyledWriter().write(value);
}

Value arrayOf(std::initializer_list<Value> elements) {
  Value array(arrayValue);
  for (const Value& element : elements) array.append(element);
  return array;
}

Value digits(int count) {
  Value array(arrayValue);
  for (int i = 0; i < count; ++i) array.append(i % 10);
  return array;
}

std::string digitLines(int count) {
  std::string text = "[\n";
  for (int i = 0; i < count; ++i) {
    text += "   " + std::to_string(i % 10) + (i + 1 < count ? ",\n" : "\n");
  }
  return text + "]\n";
}

Value parsed(const std::string& text) {
  Value value;
  EXPECT_TRUE(Reader(Features()).parse(text, value)) << text;
  return value;
}

// Members each on an indented line; arrays on one line unless they hold a non-empty container
// or a comment; empty containers compact.
TEST(StyledWriterTest, LaysOutMembersAndArrays) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"a":1,"b":[1,2],"c":{},"o":{"x":1}})",
       "{\n   \"a\" : 1,\n   \"b\" : [ 1, 2 ],\n   \"c\" : {},\n   \"o\" : {\n      \"x\" : "
       "1\n   }\n}\n"},
      {"[[1],2]", "[\n   [ 1 ],\n   2\n]\n"},
      {R"([{"a":1}])", "[\n   {\n      \"a\" : 1\n   }\n]\n"},
      {"[]", "[]\n"},
      {"{}", "{}\n"},
      {"[[],{}]", "[ [], {} ]\n"},
      {"[1, // one\n 2]", "[\n   1, // one\n   2\n]\n"},
      {"[1,\n// one\n// two\n2]", "[\n   1,\n   // one\n   // two\n   2\n]\n"},
      {R"({"list":[1,"two",3.5,true,null]})",
       "{\n   \"list\" : [ 1, \"two\", 3.5, true, null ]\n}\n"},
  };
  for (const auto& [text, expected] : cases) {
    const Value value = parsed(text);
    EXPECT_EQ(expected, styled(value)) << text;
    EXPECT_EQ(expected, value.toStyledString()) << text;
  }
}

TEST(StyledWriterTest, KeepsAnArrayOnOneLineWhileItStaysUnderTheMargin) {
  EXPECT_EQ("[ 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1, 2 ]\n",
            styled(digits(23)));
  EXPECT_EQ(digitLines(24), styled(digits(24)));
  EXPECT_EQ(digitLines(25), styled(digits(25)));
}

TEST(StyledWriterTest, CountsTheTextOfEachElementAgainstTheMargin) {
  const Value twenty(std::string(20, 'x'));
  const std::string quotedTwenty = "\"" + std::string(20, 'x') + "\"";
  EXPECT_EQ("[\n   " + quotedTwenty + ",\n   " + quotedTwenty + ",\n   " + quotedTwenty + "\n]\n",
            styled(arrayOf({twenty, twenty, twenty})));
  const Value nineteen(std::string(19, 'x'));
  const std::string quotedNineteen = "\"" + std::string(19, 'x') + "\"";
  EXPECT_EQ("[ " + quotedNineteen + ", " + quotedNineteen + ", " + quotedNineteen + " ]\n",
            styled(arrayOf({nineteen, nineteen, nineteen})));
}

TEST(StyledWriterTest, PlacesCommentsBeforeAfterAndOnTheSameLine) {
  Value object;
  object["a"] = 1;
  object["a"].setComment("// before a", commentBefore);
  object["a"].setComment("// after a", commentAfterOnSameLine);
  object["b"] = 2;
  object["b"].setComment("/* after b */", commentAfter);
  object.setComment("// top", commentBefore);
  object.setComment("// end", commentAfter);
  EXPECT_EQ(
      "\n// top\n{\n   // before a\n   \"a\" : 1, // after a\n   \"b\" : 2\n/* after b */\n}\n"
      "// end\n\n",
      styled(object));
}

TEST(StyledWriterTest, EndsTheLineAfterASameLineCommentEndingInABlank) {
  Value object;
  object["a"] = 1;
  object["a"].setComment("// note ", commentAfterOnSameLine);
  object["b"] = 2;
  const std::string text = styled(object);
  EXPECT_EQ("{\n   \"a\" : 1, // note \n   \"b\" : 2\n}\n", text);

  Value back;
  ASSERT_TRUE(Reader(Features()).parse(text, back));
  EXPECT_EQ(2, back["b"].asLargestInt());

  Value last;
  last["a"] = 1;
  last["a"].setComment("// note ", commentAfterOnSameLine);
  EXPECT_EQ("{\n   \"a\" : 1 // note \n}\n", styled(last));
}

TEST(StyledWriterTest, WritesAStringWithoutStorageAsEmptyQuotesAndNamesWhole) {
  Value object;
  object["a"] = Value(stringValue);
  object[std::string("b\0c", 3)] = 1;
  EXPECT_EQ("{\n   \"a\" : \"\",\n   \"b\\u0000c\" : 1\n}\n", styled(object));
  EXPECT_EQ("[ \"\" ]\n", styled(arrayOf({Value(stringValue)})));
}

// A comment is written whole, a NUL byte included, but bytes that are not UTF-8 become U+FFFD.
TEST(StyledWriterTest, WritesACommentWholeAndAsUTF8) {
  Value root;
  const std::string text("{\"a\":1 /* x\0y\xFF */,\n\"b\":2}", 25);
  ASSERT_TRUE(Reader(Features()).parse(text, root));
  const std::string styledText = styled(root);
  EXPECT_EQ(std::string("{\n   \"a\" : 1, /* x\0y\xEF\xBF\xBD */\n   \"b\" : 2\n}\n", 40),
            styledText);
  Value back;
  ASSERT_TRUE(Reader(Features()).parse(styledText, back));
  EXPECT_EQ(2, back["b"].asLargestInt());
}

}  // namespace
}  // namespace Json
