#include <gtest/gtest.h>
#include <sys/mman.h>

#include <limits>
#include <string>
#include <utility>

#include "foundation/json/FastWriter.h"
#include "foundation/json/Reader.h"

namespace Json {
namespace {

Features with(void (*set)(Features&)) {
  Features features;
  if (set) set(features);
  return features;
}

// One parse, keeping the reader for its errors.
struct Parsed {
  Reader reader;
  Value root;
  bool ok = false;

  explicit Parsed(const std::string& text, bool collectComments = true,
                  const Features& features = Features())
      : reader(features) {
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
std::string nestedObjects(int depth) {
  std::string objects;
  for (int i = 0; i < depth; ++i) objects += "{\"a\":";
  return objects + "1" + std::string(static_cast<std::size_t>(depth), '}');
}

// Every comment of the tree, depth first: "path placement=comment;" with placements 0, 1, 2.
std::string commentsOf(const Value& value, const std::string& path = "") {
  std::string out;
  for (int placement = 0; placement < numberOfCommentPlacement; ++placement) {
    const auto where = static_cast<CommentPlacement>(placement);
    if (value.hasComment(where)) {
      out += path + " " + std::to_string(placement) + "=" + value.getComment(where) + ";";
    }
  }
  if (value.isArray()) {
    for (ArrayIndex i = 0; i < value.size(); ++i)
      out += commentsOf(value[i], path + "/" + std::to_string(i));
  } else if (value.isObject()) {
    for (const std::string& name : value.getMemberNames())
      out += commentsOf(value[name], path + "/" + name);
  }
  return out;
}

// Start and limit offsets of every value, depth first.
std::string offsetsOf(const Value& value) {
  std::string out =
      std::to_string(value.getOffsetStart()) + "-" + std::to_string(value.getOffsetLimit()) + " ";
  if (value.isArray()) {
    for (ArrayIndex i = 0; i < value.size(); ++i) out += offsetsOf(value[i]);
  } else if (value.isObject()) {
    for (const std::string& name : value.getMemberNames()) out += offsetsOf(value[name]);
  }
  return out;
}

// Documents as the compact writer gives them back, under the features a row sets.
TEST(ReaderTest, ReadsDocuments) {
  struct Case {
    const char* text;
    const char* compact;
    void (*features)(Features&) = nullptr;
  } cases[] = {
      {R"({"Key":1,"KEY":2})", R"({"Key":2})"},  // names differing only in case merge
      {"[1,2] and further words", "[1,2]"},      // text after the root is ignored
      {"truex", "true"},
      {"42", "42"},
      {" null ", "null"},
      {"[\n\t]", "[]"},
      {"{ }", "{}"},
      {R"({"list":[1,{"x":[true,false,null]}],"o":{},"a\u0062\n":1})",
       R"({"ab\n":1,"list":[1,{"x":[true,false,null]}],"o":{}})"},
      {R"({"a":[1,,2,],"b":})", R"({"a":[1,null,2,null],"b":null})",
       [](Features& f) { f.allowDroppedNullPlaceholders = true; }},
      {R"({1:"one",2.5:"two"})", R"({"1":"one","2.5":"two"})",
       [](Features& f) { f.allowNumericKeys = true; }},
      {"[42]", "[42]", [](Features& f) { f.strictRoot = true; }},
  };
  for (const Case& c : cases) {
    const Parsed parsed(c.text, true, with(c.features));
    ASSERT_TRUE(parsed.ok) << c.text;
    EXPECT_EQ(std::string(c.compact) + "\n", FastWriter().write(parsed.root)) << c.text;
  }
}

TEST(ReaderTest, ChoosesTheIntegerTypeByMagnitude) {
  const Parsed parsed(
      "[2147483647,2147483648,18446744073709551615,18446744073709551616,"
      "-9223372036854775808,-9223372036854775809,-0,01]");
  ASSERT_TRUE(parsed.ok);
  const ValueType types[] = {intValue, uintValue, uintValue, realValue,
                             intValue, realValue, intValue,  intValue};
  for (ArrayIndex i = 0; i < 8; ++i) EXPECT_EQ(types[i], parsed.root[i].type()) << i;
  EXPECT_EQ(std::numeric_limits<UInt64>::max(), parsed.root[2].asLargestUInt());
  EXPECT_EQ(std::numeric_limits<Int64>::min(), parsed.root[4].asLargestInt());
  EXPECT_EQ(1, parsed.root[7].asLargestInt());
}

TEST(ReaderTest, ReadsFractionsAndExponentsAsReals) {
  const Parsed parsed("[1e5,1.0,-2.5E-3,1.,1e-400]");
  ASSERT_TRUE(parsed.ok);
  const double values[] = {100000.0, 1.0, -0.0025, 1.0, 0.0};
  for (ArrayIndex i = 0; i < 5; ++i) {
    EXPECT_EQ(realValue, parsed.root[i].type()) << i;
    EXPECT_EQ(values[i], parsed.root[i].asDouble()) << i;
  }
}

TEST(ReaderTest, DecodesStrings) {
  const std::pair<std::string, std::string> cases[] = {
      {R"("\"\/\\\b\f\n\r\t\u0041\u00e9\u20AC")", "\"/\\\b\f\n\r\tA\xc3\xa9\xe2\x82\xac"},
      {"\"a\tb\x01\"", "a\tb\x01"},  // raw control bytes are kept
      {R"("x\u0000y")", std::string("x\0y", 3)},
      {R"("\ud83d\ude00")", "\xf0\x9f\x98\x80"},
      {R"("\uD83D\uDE00x")", "\xf0\x9f\x98\x80x"},
  };
  for (const auto& [text, decoded] : cases) EXPECT_EQ(decoded, Parsed(text).root.asString());
}

// Unpaired surrogates: taking the low bits of any second escape lost the "A"; a lone low
// surrogate stored bytes that are not UTF-8.
TEST(ReaderTest, ReportsEachErrorWithItsMessage) {
  const std::string valueExpected = "Syntax error: value, object or array expected.";
  const std::string memberExpected = "Missing '}' or object member name";
  const std::string hexDigit = "Bad unicode escape sequence in string: hexadecimal digit expected.";
  const std::string badEscape = "Bad escape sequence in string";
  struct Case {
    std::string text, message;
    void (*features)(Features&) = nullptr;
  } cases[] = {
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
      {R"("ab\x")", badEscape},
      {R"(["\ud800\u0041"])", badEscape},
      {R"(["\udc00"])", badEscape},
      {R"(["\ud800\ud800"])", badEscape},
      {"42", "A valid JSON document must be either an array or an object value.",
       [](Features& f) { f.strictRoot = true; }},
      {"// no\n[1]", valueExpected, [](Features& f) { f.allowComments = false; }},
  };
  for (const Case& c : cases) {
    const Parsed parsed(c.text, true, with(c.features));
    EXPECT_FALSE(parsed.ok) << c.text;
    EXPECT_EQ(c.message, parsed.firstError()) << c.text;
  }
}

TEST(ReaderTest, RecordsOneErrorWithItsTokenAndKeepsWhatWasRead) {
  struct Case {
    const char* text;
    Reader::TokenType type;
    std::ptrdiff_t start, end, extra;
    void (*features)(Features&) = nullptr;
  } cases[] = {
      {R"([1, "ab\x"])", Reader::tokenString, 4, 10, 9},
      {R"({"a":1,"b" 2,"c":[3 4]})", Reader::tokenNumber, 11, 12, -1},
      {"42", Reader::tokenError, 0, 2, -1, [](Features& f) { f.strictRoot = true; }},
  };
  for (const Case& c : cases) {
    const Parsed parsed(c.text, true, with(c.features));
    ASSERT_EQ(1u, parsed.reader.errors().size()) << c.text;
    const Reader::ErrorInfo& error = parsed.reader.errors().front();
    EXPECT_EQ(c.type, error.tokenType) << c.text;
    EXPECT_EQ(c.start, error.tokenStart) << c.text;
    EXPECT_EQ(c.end, error.tokenEnd) << c.text;
    EXPECT_EQ(c.extra, error.extra) << c.text;
  }
  EXPECT_EQ(1, Parsed(cases[1].text).root["a"].asLargestInt());
}

TEST(ReaderTest, StartsEachParseWithAnEmptyErrorList) {
  Reader reader{Features()};
  Value root;
  EXPECT_FALSE(reader.parse("[1 2]", root));
  EXPECT_EQ(1u, reader.errors().size());
  EXPECT_TRUE(reader.parse("[1, 2]", root));
  EXPECT_TRUE(reader.errors().empty());
}

TEST(ReaderTest, ReadsAThousandNestedLevelsAndRefusesOneMoreWithoutThrowing) {
  EXPECT_TRUE(Parsed(nested(1000, "")).ok);
  EXPECT_TRUE(Parsed(nestedObjects(999)).ok);
  for (const std::string& text : {nested(1001, ""), nested(1000, "1"), nestedObjects(1000)}) {
    const Parsed parsed(text);
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ("Exceeded stackLimit in readValue().", parsed.firstError());
    EXPECT_EQ(1u, parsed.reader.errors().size());
  }
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

// Placements: 0 before, 1 after on the same line, 2 after.
TEST(ReaderTest, PutsEachCommentOnTheValueItBelongsTo) {
  const std::pair<const char*, const char*> cases[] = {
      {"// heading\n{\"a\":1}\n// later", " 0=// heading; 2=// later;"},
      {"[1] // same line\n", " 1=// same line;"},
      {"{\"a\":1 /* one */,\n \"b\":2}", "/a 1=/* one */;"},
      {"{\n \"a\":1,\n // b's\r\n /* and\r more */\n \"b\":2\n}", "/b 0=// b's\n/* and\n more */;"},
      {"[1, /* two\nlines */ 2]", "/1 0=/* two\nlines */;"},
  };
  for (const auto& [text, comments] : cases) EXPECT_EQ(comments, commentsOf(Parsed(text).root));
  const Parsed uncollected("// a\n[1 /* b */, 2] // c", false);
  ASSERT_TRUE(uncollected.ok);
  EXPECT_EQ("", commentsOf(uncollected.root));
  EXPECT_EQ(2u, uncollected.root.size());

  Reader reader{Features()};
  Value root;
  root.setComment("// mine", commentAfter);
  ASSERT_TRUE(reader.parse("[1]", root));
  EXPECT_EQ(" 2=// mine;", commentsOf(root)) << "comments already on the root stay";
}

TEST(ReaderTest, RecordsWhereEachValueLies) {
  Value root;
  {
    Reader reader{Features()};
    ASSERT_TRUE(reader.parse(R"( {"a": [1, "xy"], "b": true} )", root));
  }
  EXPECT_EQ("1-28 7-16 8-9 11-15 23-27 ", offsetsOf(root));
}

}  // namespace
}  // namespace Json
