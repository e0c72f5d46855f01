#include <gtest/gtest.h>
#include <sys/mman.h>

#include <limits>
#include <string>
#include <utility>

#include "foundation/json/Reader.h"

namespace Json {
namespace {

// One parse with the default features, keeping the reader for its errors.
struct Parsed {
  Reader reader{Features()};
  Value root;
  bool ok = false;

  explicit Parsed(const std::string& text, bool collectComments = true) {
    ok = reader.parse(text, root, collectComments);
  }
  std::string firstError() const {
    return reader.errors().empty() ? std::string() : reader.errors().front().message;
  }
};

std::string nested(int depth, const std::string& inner) {
  return std::string(static_cast<std::size_t>(depth), '[') + inner +
         std::string(static_cast<std::size_t>(depth), ']');
}

// ---- structure ----

TEST(ReaderTest, MergesMembersWhoseNamesDifferOnlyInCase) {
  const Parsed parsed(R"({"Key":1,"KEY":2})");
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ(Value::Members{"Key"}, parsed.root.getMemberNames());
  EXPECT_EQ(2, parsed.root["key"].asLargestInt());
}

TEST(ReaderTest, IgnoresTextAfterTheRootValue) {
  const Parsed parsed("[1,2] and further words");
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ(2u, parsed.root.size());
  const Parsed keyword("truex");
  ASSERT_TRUE(keyword.ok);
  EXPECT_TRUE(keyword.root.asBool());
}

TEST(ReaderTest, ReadsScalarRootsEmptyContainersAndNesting) {
  EXPECT_EQ(42, Parsed("42").root.asLargestInt());
  EXPECT_TRUE(Parsed(" null ").ok);
  for (const char* text : {"[ ]", "[\n\t]", "{ }"}) EXPECT_TRUE(Parsed(text).root.empty()) << text;
  const Parsed parsed(R"({"list":[1,{"x":[true,false,null]}],"o":{},"a\u0062\n":1})");
  ASSERT_TRUE(parsed.ok);
  EXPECT_FALSE(parsed.root["list"][1]["x"][1].asBool());
  EXPECT_TRUE(parsed.root["list"][1]["x"][2].isNull());
  EXPECT_TRUE(parsed.root["o"].isObject());
  EXPECT_EQ(1, parsed.root["ab\n"].asLargestInt()) << "member names are unescaped";
}

// ---- numbers ----

TEST(ReaderTest, ChoosesTheIntegerTypeByMagnitude) {
  const Parsed parsed(
      "[2147483647,2147483648,18446744073709551615,18446744073709551616,"
      "-9223372036854775808,-9223372036854775809,-0,01]");
  ASSERT_TRUE(parsed.ok);
  const Value& numbers = parsed.root;
  EXPECT_EQ(intValue, numbers[0].type());
  EXPECT_EQ(uintValue, numbers[1].type());
  EXPECT_EQ(uintValue, numbers[2].type());
  EXPECT_EQ(std::numeric_limits<UInt64>::max(), numbers[2].asLargestUInt());
  EXPECT_EQ(realValue, numbers[3].type());
  EXPECT_EQ(intValue, numbers[4].type());
  EXPECT_EQ(std::numeric_limits<Int64>::min(), numbers[4].asLargestInt());
  EXPECT_EQ(realValue, numbers[5].type());
  EXPECT_EQ(intValue, numbers[6].type());
  EXPECT_EQ(1, numbers[7].asLargestInt());
}

TEST(ReaderTest, ReadsFractionsAndExponentsAsReals) {
  const Parsed parsed("[1e5,1.0,-2.5E-3,1.,1e-400]");
  ASSERT_TRUE(parsed.ok);
  for (ArrayIndex i = 0; i < parsed.root.size(); ++i) {
    EXPECT_EQ(realValue, parsed.root[i].type()) << i;
  }
  EXPECT_EQ(100000.0, parsed.root[0].asDouble());
  EXPECT_EQ(-0.0025, parsed.root[2].asDouble());
  EXPECT_EQ(1.0, parsed.root[3].asDouble());
  EXPECT_EQ(0.0, parsed.root[4].asDouble());
}

// ---- strings ----

TEST(ReaderTest, DecodesEveryEscape) {
  const Parsed parsed(R"("\"\/\\\b\f\n\r\t\u0041\u00e9\u20AC")");
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ("\"/\\\b\f\n\r\tA\xc3\xa9\xe2\x82\xac", parsed.root.asString());
}

TEST(ReaderTest, KeepsRawControlBytesAndAnEscapedNul) {
  const Parsed parsed(std::string("[\"a\tb\x01\",\"x\\u0000y\"]"));
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ("a\tb\x01", parsed.root[0].asString());
  EXPECT_EQ(std::string("x\0y", 3), parsed.root[1].asString());
}

TEST(ReaderTest, JoinsSurrogatePairsIntoOneCodePoint) {
  const Parsed parsed(R"(["\ud83d\ude00","\uD83D\uDE00x"])");
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ("\xf0\x9f\x98\x80", parsed.root[0].asString());
  EXPECT_EQ("\xf0\x9f\x98\x80x", parsed.root[1].asString());
}

// Taking the low bits of any second escape lost the "A"; a lone low surrogate stored bytes that
// are not UTF-8.
TEST(ReaderTest, RefusesUnpairedSurrogatesAsBadEscapes) {
  for (const char* text : {R"(["\ud800\u0041"])", R"(["\udc00"])", R"(["\ud800\ud800"])"}) {
    const Parsed parsed(text);
    EXPECT_FALSE(parsed.ok) << text;
    EXPECT_EQ("Bad escape sequence in string", parsed.firstError()) << text;
  }
}

TEST(ReaderTest, RecordsTheTokenAndThePlaceOfAnEscapeError) {
  const Parsed parsed(R"([1, "ab\x"])");
  ASSERT_FALSE(parsed.ok);
  ASSERT_EQ(1u, parsed.reader.errors().size());
  const Reader::ErrorInfo& error = parsed.reader.errors().front();
  EXPECT_EQ(Reader::tokenString, error.tokenType);
  EXPECT_EQ(4, error.tokenStart);
  EXPECT_EQ(10, error.tokenEnd);
  EXPECT_EQ(9, error.extra);
}

// ---- syntax errors ----

TEST(ReaderTest, ReportsEachErrorWithItsMessage) {
  const std::string valueExpected = "Syntax error: value, object or array expected.";
  const std::string memberExpected = "Missing '}' or object member name";
  const std::string hexDigit = "Bad unicode escape sequence in string: hexadecimal digit expected.";
  const std::pair<std::string, std::string> cases[] = {
      {"[1,]", valueExpected},
      {"", valueExpected},
      {"+1", valueExpected},
      {".5", valueExpected},
      {"\"abc", valueExpected},
      {"\"abc\\\"", valueExpected},
      {"/* open [1]", valueExpected},
      {"/*/ [1]", valueExpected},
      {"/x [1]", valueExpected},
      {R"({"a":1,})", memberExpected},
      {R"({"":1,})", memberExpected},
      {"{a:1}", memberExpected},
      {R"({"a" 1})", "Missing ':' after object member name"},
      {R"({"a":1 "b":2})", "Missing ',' or '}' in object declaration"},
      {R"({"a":1 /* c */ ] "b":2})", "Missing ',' or '}' in object declaration"},
      {"[1 2]", "Missing ',' or ']' in array declaration"},
      {"[truex]", "Missing ',' or ']' in array declaration"},
      {"[-]", "'-' is not a number."},
      {"1e999", "'1e999' is not a number."},
      {"1e", "'1e' is not a number."},
      {"-.", "'-.' is not a number."},
      {R"("\ud83d")", "additional six characters expected to parse unicode surrogate pair."},
      {R"("\ud83d--xxxx")",
       "expecting another \\u token to begin the second half of a unicode surrogate pair"},
      {R"("\u12")", "Bad unicode escape sequence in string: four digits expected."},
      {R"("\u12G4")", hexDigit},
      {R"("\ud83d\u12G4")", hexDigit},
      {R"("ab\x")", "Bad escape sequence in string"},
  };
  for (const auto& [text, message] : cases) EXPECT_EQ(message, Parsed(text).firstError()) << text;
}

TEST(ReaderTest, RecordsOneErrorWithItsTokenAndKeepsWhatWasRead) {
  const Parsed parsed(R"({"a":1,"b" 2,"c":[3 4]})");
  ASSERT_FALSE(parsed.ok);
  ASSERT_EQ(1u, parsed.reader.errors().size());
  const Reader::ErrorInfo& error = parsed.reader.errors().front();
  EXPECT_EQ("Missing ':' after object member name", error.message);
  EXPECT_EQ(Reader::tokenNumber, error.tokenType);
  EXPECT_EQ(11, error.tokenStart);
  EXPECT_EQ(12, error.tokenEnd);
  EXPECT_EQ(-1, error.extra);
  EXPECT_EQ(1, parsed.root["a"].asLargestInt());
}

TEST(ReaderTest, StartsEachParseWithAnEmptyErrorList) {
  Reader reader{Features()};
  Value root;
  EXPECT_FALSE(reader.parse("[1 2]", root));
  EXPECT_EQ(1u, reader.errors().size());
  EXPECT_TRUE(reader.parse("[1, 2]", root));
  EXPECT_TRUE(reader.errors().empty());
}

// ---- nesting limit ----

TEST(ReaderTest, ReadsAThousandNestedLevels) {
  EXPECT_TRUE(Parsed(nested(1000, "")).ok);
  std::string objects;
  for (int i = 0; i < 999; ++i) objects += "{\"a\":";
  objects += "1" + std::string(999, '}');
  EXPECT_TRUE(Parsed(objects).ok);
}

TEST(ReaderTest, RefusesALevelBeyondAThousandWithoutThrowing) {
  EXPECT_EQ("Exceeded stackLimit in readValue().", Parsed(nested(1001, "")).firstError());
  EXPECT_EQ("Exceeded stackLimit in readValue().", Parsed(nested(1000, "1")).firstError());
  std::string objects;
  for (int i = 0; i < 1000; ++i) objects += "{\"a\":";
  objects += "1" + std::string(1000, '}');
  const Parsed parsed(objects);
  EXPECT_FALSE(parsed.ok);
  EXPECT_EQ("Exceeded stackLimit in readValue().", parsed.firstError());
  EXPECT_EQ(1u, parsed.reader.errors().size());
  Reader reader{Features()};
  Value root;
  EXPECT_FALSE(reader.parse(nested(1500, ""), root));
  EXPECT_TRUE(reader.parse(nested(1000, ""), root)) << "depth is counted per parse";
}

TEST(ReaderTest, TurnsAValueModelExceptionIntoAFailedParse) {
  // One byte more than a string value can hold, in untouched mapped pages: the reader scans
  // zero pages and the value model refuses the length before copying, so no memory is used.
  const std::size_t length = 2147483643u + 2;
  void* pages = mmap(nullptr, length, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(MAP_FAILED, pages);
  char* document = static_cast<char*>(pages);
  document[0] = '"';
  document[length - 1] = '"';
  Reader reader{Features()};
  Value root;
  EXPECT_FALSE(reader.parse(document, document + length, root));
  munmap(pages, length);
  ASSERT_EQ(1u, reader.errors().size());
  EXPECT_EQ("in Json::Value::duplicateAndPrefixStringValue(): length too big for prefixing",
            reader.errors().front().message);
}

// ---- comments ----

TEST(ReaderTest, PutsCommentsBeforeAndAfterTheRootOnTheRoot) {
  const Parsed parsed("// heading\n{\"a\":1}\n// later");
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ("// heading", parsed.root.getComment(commentBefore));
  EXPECT_EQ("// later", parsed.root.getComment(commentAfter));
  const Parsed sameLine("[1] // same line\n");
  EXPECT_EQ("// same line", sameLine.root.getComment(commentAfterOnSameLine));
}

TEST(ReaderTest, PutsABlockCommentAfterAValueOnItsLineOnThatValue) {
  const Parsed parsed("{\"a\":1 /* one */,\n \"b\":2}");
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ("/* one */", parsed.root["a"].getComment(commentAfterOnSameLine));
  EXPECT_FALSE(parsed.root["b"].hasComment(commentBefore));
}

TEST(ReaderTest, PutsCommentsOnTheirOwnLinesBeforeTheNextValue) {
  const Parsed parsed("{\n \"a\":1,\n // b's\r\n /* and\r more */\n \"b\":2\n}");
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ("// b's\n/* and\n more */", parsed.root["b"].getComment(commentBefore));
  EXPECT_FALSE(parsed.root["a"].hasComment(commentAfterOnSameLine));
}

TEST(ReaderTest, PutsABlockCommentSpanningLinesBeforeTheNextValue) {
  const Parsed parsed("[1, /* two\nlines */ 2]");
  EXPECT_FALSE(parsed.root[0].hasComment(commentAfterOnSameLine));
  EXPECT_EQ("/* two\nlines */", parsed.root[1].getComment(commentBefore));
}

TEST(ReaderTest, SkipsCommentsWithoutCollectingThemWhenAsked) {
  const Parsed parsed("// a\n[1 /* b */, 2] // c", false);
  ASSERT_TRUE(parsed.ok);
  EXPECT_FALSE(parsed.root.hasComment(commentBefore));
  EXPECT_FALSE(parsed.root[0].hasComment(commentAfterOnSameLine));
  EXPECT_EQ(2u, parsed.root.size());
}

TEST(ReaderTest, KeepsCommentsAlreadyOnTheRoot) {
  Reader reader{Features()};
  Value root;
  root.setComment("// mine", commentAfter);
  ASSERT_TRUE(reader.parse("[1]", root));
  EXPECT_EQ("// mine", root.getComment(commentAfter));
  EXPECT_TRUE(root.isArray());
}

// ---- offsets ----

TEST(ReaderTest, RecordsWhereEachValueLies) {
  const std::string text = R"( {"a": [1, "xy"], "b": true} )";
  Value root;
  {
    Reader reader{Features()};
    ASSERT_TRUE(reader.parse(text, root));
  }
  EXPECT_EQ(1, root.getOffsetStart());
  EXPECT_EQ(28, root.getOffsetLimit());
  EXPECT_EQ(7, root["a"].getOffsetStart());
  EXPECT_EQ(16, root["a"].getOffsetLimit());
  EXPECT_EQ(8, root["a"][0].getOffsetStart());
  EXPECT_EQ(9, root["a"][0].getOffsetLimit());
  EXPECT_EQ(11, root["a"][1].getOffsetStart());
  EXPECT_EQ(15, root["a"][1].getOffsetLimit());
  EXPECT_EQ(23, root["b"].getOffsetStart());
  EXPECT_EQ(27, root["b"].getOffsetLimit());
}

// ---- features ----

TEST(ReaderTest, StrictRootRefusesAScalarDocument) {
  Features features;
  features.strictRoot = true;
  Reader reader(features);
  Value root;
  EXPECT_FALSE(reader.parse("42", root));
  ASSERT_EQ(1u, reader.errors().size());
  EXPECT_EQ("A valid JSON document must be either an array or an object value.",
            reader.errors().front().message);
  EXPECT_EQ(0, reader.errors().front().tokenStart);
  EXPECT_EQ(2, reader.errors().front().tokenEnd);
  EXPECT_TRUE(reader.parse("[42]", root));
}

TEST(ReaderTest, DroppedNullPlaceholdersReadAsNull) {
  Features features;
  features.allowDroppedNullPlaceholders = true;
  Reader reader(features);
  Value root;
  ASSERT_TRUE(reader.parse(R"({"a":[1,,2,],"b":})", root));
  EXPECT_EQ(4u, root["a"].size());
  EXPECT_TRUE(root["a"][1].isNull());
  EXPECT_EQ(2, root["a"][2].asLargestInt());
  EXPECT_TRUE(root["a"][3].isNull());
  EXPECT_TRUE(root["b"].isNull());
}

TEST(ReaderTest, NumericKeysNameMembersByTheirText) {
  Features features;
  features.allowNumericKeys = true;
  Reader reader(features);
  Value root;
  ASSERT_TRUE(reader.parse(R"({1:"one",2.5:"two"})", root));
  EXPECT_EQ((Value::Members{"1", "2.5"}), root.getMemberNames());
}

TEST(ReaderTest, WithoutCommentsAllowedACommentIsASyntaxError) {
  Features features;
  features.allowComments = false;
  Reader reader(features);
  Value root;
  EXPECT_FALSE(reader.parse("// no\n[1]", root));
  EXPECT_EQ("Syntax error: value, object or array expected.", reader.errors().front().message);
}

}  // namespace
}  // namespace Json
