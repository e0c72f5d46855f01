#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>

#include "core/workflow/ViewMessageData.h"
#include "foundation/json/Reader.h"
#include "foundation/json/Value.h"
#include "tests/support/ChildProcesses.h"

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

// The text comes from the page and is split on the dispatching thread: its cost grows with its
// length, not with its square. 8 MiB of commas took minutes when each pair cost a copy of the
// rest; in a child, so a slow split fails the test instead of holding it.
TEST(ViewMessageDataTest, SplitsALongTextInOnePass) {
  const pid_t child = wendtest::forkChild([] {
    ViewMessageData data;
    data.parse(std::string(8 << 20, ',') + "last:\"end\"");
    return data.getValue("last") == "end" ? 0 : 1;
  });
  ASSERT_GT(child, 0);
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool ended = false;
  while (!(ended = waitpid(child, &status, WNOHANG) == child) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (!ended) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  ASSERT_TRUE(ended) << "the split did not end within 60 s";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
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
