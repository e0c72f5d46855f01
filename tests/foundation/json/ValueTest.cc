#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cmath>
#include <limits>
#include <string>

#include "foundation/json/Value.h"

namespace Json {
namespace {

// Runs the statement and checks that it threw a LogicError with exactly this message.
#define EXPECT_LOGIC_ERROR(statement, message)         \
  try {                                                \
    statement;                                         \
    ADD_FAILURE() << "no exception from " #statement;  \
  } catch (const LogicError& error) {                  \
    EXPECT_STREQ(message, error.what()) << #statement; \
  }

TEST(ValueTest, MemberNamesIgnoreCaseKeepTheFirstSpellingAndComeBackInThatOrder) {
  Value object;
  object["Name"] = 1;
  object["NAME"] = 2;
  object["alpha"] = 3;
  object["_id"] = 4;
  EXPECT_EQ((Value::Members{"_id", "alpha", "Name"}), object.getMemberNames());
  EXPECT_EQ(2, object["name"].asLargestInt());
}

TEST(ValueTest, NamesCompareOverTheirWholeLengthNulBytesIncluded) {
  Value object;
  object[std::string("ab\0x", 4)] = 1;
  object[std::string("AB\0X", 4)] = 2;
  object[std::string("ab\0y", 4)] = 3;
  object["ab"] = 4;
  EXPECT_EQ((Value::Members{"ab", std::string("ab\0x", 4), std::string("ab\0y", 4)}),
            object.getMemberNames());
  EXPECT_EQ(2, object[std::string("ab\0x", 4)].asLargestInt());
}

TEST(ValueTest, MemberNamesLongerThanThirtyBitsKeepTheirLength) {
  // A lookup key copies nothing, so reserved pages that are never touched can stand for the name.
  const std::size_t length = (std::size_t{1} << 30) + 1;
  void* name = mmap(nullptr, length, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(MAP_FAILED, name);
  const Value::CZString key(static_cast<const char*>(name), length);
  EXPECT_EQ(length, key.length());
  munmap(name, length);
}

TEST(ValueTest, ConstAccessToAMissingMemberOrElementAddsNothing) {
  Value object(objectValue);
  object["present"] = true;
  const Value& constObject = object;
  EXPECT_EQ(&Value::nullSingleton(), &constObject["missing"]);
  EXPECT_EQ(1u, object.size());
  const Value null;
  EXPECT_TRUE(null[3u].isNull());
  EXPECT_TRUE(null[std::string("a")].isNull());
  const char name[] = "a";
  EXPECT_EQ(nullptr, null.find(name, name + 1));
  EXPECT_TRUE(null.getMemberNames().empty());
}

TEST(ValueTest, ArraysAreSparseAndAppendAfterTheLargestIndex) {
  Value array(arrayValue);
  array[5] = "five";
  EXPECT_EQ(6u, array.size());
  const Value& constArray = array;
  EXPECT_TRUE(constArray[2u].isNull());
  EXPECT_EQ(6u, array.size()) << "const access must not fill holes";
  array.append("six");
  EXPECT_EQ(7u, array.size());
  EXPECT_EQ("six", array[6].asString());
}

TEST(ValueTest, AppendTurnsNullIntoAnArrayCopiesCommentsAndOffsetsAndRefusesAnObject) {
  Value element(3);
  element.setComment("// three", commentAfterOnSameLine);
  element.setOffsetStart(4);
  element.setOffsetLimit(5);
  Value array;
  const Value& appended = array.append(element);
  EXPECT_TRUE(array.isArray());
  EXPECT_EQ(1u, array.size());
  EXPECT_EQ("// three", appended.getComment(commentAfterOnSameLine));
  EXPECT_EQ(4, appended.getOffsetStart());
  EXPECT_EQ(5, appended.getOffsetLimit());

  Value object;
  object["a"] = 1;
  EXPECT_LOGIC_ERROR(object.append(2),
                     "in Json::Value::operator[](ArrayIndex): requires arrayValue");
  EXPECT_EQ(Value::Members{"a"}, object.getMemberNames());
}

TEST(ValueTest, StringsKeepNulBytesAndTheirLengthAndOnesWithoutStorageReadAsEmpty) {
  const Value value(std::string("a\0b", 3));
  EXPECT_EQ(std::string("a\0b", 3), value.asString());
  const char* begin = nullptr;
  const char* end = nullptr;
  ASSERT_TRUE(value.getString(&begin, &end));
  EXPECT_EQ(3, end - begin);
  EXPECT_STREQ("a", value.asCString());
  EXPECT_EQ(std::string("a"), Value("a\0b").asString()) << "text stops at its NUL";

  const Value bare(stringValue);
  EXPECT_FALSE(bare.getString(&begin, &end));
  EXPECT_EQ("", bare.asString());
  EXPECT_EQ(nullptr, Value(bare).asCString());
}

TEST(ValueTest, EmptyHoldsForNullAndEmptyContainersOnly) {
  EXPECT_TRUE(Value().empty());
  EXPECT_TRUE(Value(objectValue).empty());
  for (const Value& value : {Value(""), Value(0), Value(stringValue)}) EXPECT_FALSE(value.empty());
}

TEST(ValueTest, AsStringGivesTheTextOfEveryScalar) {
  EXPECT_EQ("", Value().asString());
  EXPECT_EQ("false", Value(false).asString());
  EXPECT_EQ("-9223372036854775808", Value(std::numeric_limits<Int64>::min()).asString());
  EXPECT_EQ("18446744073709551615", Value(std::numeric_limits<UInt64>::max()).asString());
  EXPECT_EQ("0.10000000000000001", Value(0.1).asString());
}

TEST(ValueTest, IntegerConversionsStayWithinRange) {
  EXPECT_EQ(-3, Value(-3.9).asLargestInt());
  EXPECT_EQ(std::numeric_limits<Int64>::min(), Value(-9223372036854775808.0).asLargestInt());
  EXPECT_EQ(9223372036854774784, Value(9223372036854774784.0).asLargestInt());
  EXPECT_EQ(9223372036854775807, Value(UInt64{9223372036854775807u}).asLargestInt());
  EXPECT_EQ(2u, Value(2.7).asLargestUInt());
  EXPECT_EQ(18446744073709549568u, Value(18446744073709549568.0).asLargestUInt());
  EXPECT_LOGIC_ERROR(Value(UInt64{9223372036854775808u}).asLargestInt(),
                     "LargestUInt out of Int64 range");
  EXPECT_LOGIC_ERROR(Value(9223372036854775808.0).asLargestInt(), "double out of Int64 range");
  EXPECT_LOGIC_ERROR(Value(-9223372036854777856.0).asLargestInt(), "double out of Int64 range");
  EXPECT_LOGIC_ERROR(Value(std::nan("")).asLargestInt(), "double out of Int64 range");
  EXPECT_LOGIC_ERROR(Value(-1).asLargestUInt(), "LargestInt out of UInt64 range");
  EXPECT_LOGIC_ERROR(Value(18446744073709551616.0).asLargestUInt(), "double out of UInt64 range");
  EXPECT_LOGIC_ERROR(Value(-0.5).asLargestUInt(), "double out of UInt64 range");
  EXPECT_LOGIC_ERROR(Value(std::nan("")).asLargestUInt(), "double out of UInt64 range");
}

TEST(ValueTest, ScalarConversionsFollowTheTable) {
  EXPECT_EQ(0, Value().asLargestInt());
  EXPECT_EQ(1u, Value(true).asLargestUInt());
  EXPECT_EQ(-5.0, Value(-5).asDouble());
  EXPECT_FALSE(Value(0.0).asBool());
  EXPECT_TRUE(Value(std::nan("")).asBool());
  EXPECT_TRUE(Value(UInt64{7}).asBool());
  for (const Value& value : {Value("1"), Value(arrayValue), Value(objectValue)}) {
    EXPECT_LOGIC_ERROR(value.asLargestInt(), "Value is not convertible to Int64.");
    EXPECT_LOGIC_ERROR(value.asLargestUInt(), "Value is not convertible to UInt64.");
    EXPECT_LOGIC_ERROR(value.asDouble(), "Value is not convertible to double.");
    EXPECT_LOGIC_ERROR(value.asBool(), "Value is not convertible to bool.");
  }
  EXPECT_LOGIC_ERROR(Value(arrayValue).asString(), "Type is not convertible to string");
}

TEST(ValueTest, AccessOfTheWrongTypeThrowsAndLeavesTheValueAlone) {
  Value number(5);
  EXPECT_LOGIC_ERROR(number.asCString(), "in Json::Value::asCString(): requires stringValue");
  EXPECT_LOGIC_ERROR(number[0u], "in Json::Value::operator[](ArrayIndex): requires arrayValue");
  EXPECT_LOGIC_ERROR(number["a"],
                     "in Json::Value::resolveReference(key, end): requires objectValue");
  const Value& constNumber = number;
  EXPECT_LOGIC_ERROR(constNumber[0u],
                     "in Json::Value::operator[](ArrayIndex)const: requires arrayValue");
  EXPECT_LOGIC_ERROR(constNumber[std::string("a")],
                     "in Json::Value::find(key, end, found): requires objectValue or nullValue");
  EXPECT_LOGIC_ERROR(number.getMemberNames(),
                     "in Json::Value::getMemberNames(), value must be objectValue");
  EXPECT_EQ(intValue, number.type());
  EXPECT_EQ(5, number.asLargestInt());

  Value array(arrayValue);
  EXPECT_LOGIC_ERROR(array[-1], "in Json::Value::operator[](int index): index cannot be negative");
  EXPECT_TRUE(array.empty());
}

TEST(ValueTest, NonConstAccessReplacesANullValueWhole) {
  Value value;
  value.setComment("// gone", commentBefore);
  value.setOffsetStart(3);
  value["member"] = 1;
  EXPECT_TRUE(value.isObject());
  EXPECT_FALSE(value.hasComment(commentBefore));
  EXPECT_EQ(0, value.getOffsetStart());
}

TEST(ValueTest, CopiesAreDeep) {
  Value original;
  original["list"].append("x");
  original["list"].setComment("/* c */", commentAfter);
  original.setOffsetLimit(9);
  Value copy(original);
  copy["list"][0] = "changed";
  copy["extra"] = true;
  EXPECT_EQ("x", original["list"][0].asString());
  EXPECT_EQ(1u, original.size());
  EXPECT_EQ("/* c */", copy["list"].getComment(commentAfter));
  EXPECT_EQ(9, copy.getOffsetLimit());
}

TEST(ValueTest, SwapPayloadLeavesCommentsAndOffsetsInPlace) {
  Value first("one");
  first.setComment("// first", commentBefore);
  first.setOffsetStart(1);
  Value second(2);
  second.setOffsetStart(2);
  first.swapPayload(second);
  EXPECT_EQ(2, first.asLargestInt());
  EXPECT_EQ("// first", first.getComment(commentBefore));
  EXPECT_EQ(1, first.getOffsetStart());
  EXPECT_EQ("one", second.asString());
  EXPECT_FALSE(second.hasComment(commentBefore));

  first.swap(second);
  EXPECT_EQ("one", first.asString());
  EXPECT_FALSE(first.hasComment(commentBefore));
  EXPECT_EQ("// first", second.getComment(commentBefore));
  EXPECT_EQ(2, first.getOffsetStart());
}

TEST(ValueTest, AssignmentOfAChildToItsParentKeepsTheChild) {
  Value value;
  value["inner"]["leaf"] = 4;
  value = value["inner"];
  EXPECT_EQ(4, value["leaf"].asLargestInt());
}

TEST(ValueTest, CommentsDropOneFinalLineFeedKeepEveryByteAndMustStartWithSlash) {
  Value value;
  value.setComment("// word\n", commentBefore);
  EXPECT_EQ("// word", value.getComment(commentBefore));
  const std::string comment("/* a\0b */", 10);
  value.setComment(comment, commentBefore);
  EXPECT_EQ(comment, Value(value).getComment(commentBefore));
  EXPECT_FALSE(value.hasComment(commentAfter));
  EXPECT_EQ("", value.getComment(commentAfter));
  EXPECT_LOGIC_ERROR(value.setComment("# word", commentAfter),
                     "in Json::Value::setComment(): Comments must start with /");
  EXPECT_FALSE(value.hasComment(commentAfter));
}

}  // namespace
}  // namespace Json
