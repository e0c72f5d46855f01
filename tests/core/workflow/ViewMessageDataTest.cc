#include <gtest/gtest.h>

#include <map>
#include <string>

#include "core/workflow/ViewMessageData.h"
#include "foundation/json/Reader.h"
#include "foundation/json/Value.h"

namespace {

TEST(ViewMessageDataTest, WritesValuesInKeyOrderThenRawValues) {
  ViewMessageData data;
  EXPECT_EQ(data.toString(), "");
  EXPECT_TRUE(data.setRawValue("isHighDpi", "2"));
  EXPECT_EQ(data.toString(), "") << "raw values alone write nothing";
  EXPECT_TRUE(data.setValue("progress", "37"));
  EXPECT_TRUE(data.setValue("isCancelEnabled", "false"));
  EXPECT_FALSE(data.setValue("progress", "99"));
  EXPECT_EQ(data.getValue("progress"), "37");
  EXPECT_EQ(data.getValue("isHighDpi"), "");
  EXPECT_EQ(data.toString(), R"({"isCancelEnabled":"false","progress":"37","isHighDpi":2})");
}

TEST(ViewMessageDataTest, ReadsBackWhatItWrote) {
  ViewMessageData written;
  written.setValue("skill", "expert");
  written.setValue("job", "graphic designer");
  written.setValue("purpose", "");
  ViewMessageData read;
  read.parse(written.toString());
  for (const char* key : {"skill", "job", "purpose"}) {
    EXPECT_EQ(read.getValue(key), written.getValue(key)) << key;
  }
}

TEST(ViewMessageDataTest, SplitterKeepsItsQuirks) {
  struct Row {
    const char* text;
    std::map<std::string, std::string> expected;
  } rows[] = {
      {R"({"a":"x:b"})", {{"", ""}, {"a", "}"}}},                   // cut at the last colon
      {R"({"a":"x,y"})", {{"", ""}, {"a", "x"}, {"}", "}"}}},       // cut at the comma
      {R"({"a":"1","n":2})", {{"", ""}, {"a", "1"}, {"n", "2}"}}},  // raw value keeps the brace
      {R"({"a":"1","a":"2"})", {{"", ""}, {"a", "2"}}},             // the last value wins
      {"", {{"", ""}, {"a", ""}}},                                  // one empty pair
      {"k:v,b", {{"", ""}, {"a", ""}, {"k", "v"}, {"b", "b"}}},     // no colon: key and value
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    ViewMessageData data;
    data.parse(row.text);
    for (const auto& [key, value] : row.expected) EXPECT_EQ(data.getValue(key), value) << key;
  }
  ViewMessageData empty;
  empty.parse("");
  EXPECT_EQ(empty.toString(), R"({"":""})");
}

// Sizes and addresses come from outside; whatever they hold, the page's JSON parser must read the
// text and get them back unchanged.
TEST(ViewMessageDataTest, EscapesWhatWouldBreakTheJson) {
  const std::string hostile = std::string("a\"b\\c\nd") + '\x01' + "e\xc3\xa9";
  ViewMessageData data;
  data.setValue("errorURL", hostile);
  data.setValue(hostile, "key");
  Json::Value root;
  ASSERT_TRUE(Json::Reader(Json::Features()).parse(data.toString(), root)) << data.toString();
  ASSERT_TRUE(root.isObject());
  EXPECT_EQ(root["errorURL"].asString(), hostile);
  EXPECT_EQ(root[hostile].asString(), "key");
}

}  // namespace
