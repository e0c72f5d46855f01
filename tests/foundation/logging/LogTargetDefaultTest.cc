#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <thread>

#include "foundation/logging/LogLine.h"
#include "foundation/logging/LogTargetDefault.h"
#include "foundation/logging/Logger.h"
#include "foundation/logging/LoggingCore.h"
#include "tests/foundation/logging/support/LogsFolderEnvironment.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/SemaphoreSets.h"

namespace pando {
namespace {

using Lines = std::vector<std::string>;
constexpr int64_t kDecember5th2026 = 1796503474123;  // 20:44:34.123 UTC
constexpr int64_t kHourMs = 3600 * 1000;
constexpr int64_t kRotateSize = 10485760;

Lines fieldsOf(const std::string& line) {
  Lines fields;
  size_t start = 0;
  for (size_t bar; (bar = line.find(" | ", start)) != std::string::npos; start = bar + 3) {
    fields.push_back(line.substr(start, bar - start));
  }
  fields.push_back(line.substr(start));
  return fields;
}

// The file's lines, or with `messages` only their last field.
Lines linesOf(const std::string& path, bool messages = true) {
  Lines lines;
  std::stringstream text(wendtest::readFile(path));
  for (std::string line; std::getline(text, line);) {
    lines.push_back(messages ? fieldsOf(line).back() : line);
  }
  return lines;
}

void writeRecord(LogTargetDefault& sink, const std::string& message, int64_t timeMs = 0,
                 int level = kLogInfo) {
  sink.write(level, "", "", "", "", "", "", message.c_str(), nullptr, timeMs);
}

TEST(LogLineTest, LevelNamesAndTextsWithoutATokenPair) {
  const char* names[] = {"TRACE", "DEBUG", "INFO", "WARN", "ERROR", "FATAL", "NONE"};
  for (int level = 10; level <= 70; level += 10) {
    EXPECT_STREQ(LogLine::levelName(level), names[level / 10 - 1]);
  }
  EXPECT_STREQ(LogLine::levelName(35), "ALL");
  for (std::string text : {"eyJ alone", "before.eyJ but no earlier part"}) {
    EXPECT_EQ(LogLine::withoutTokens(text, kLogDebug), kLogDebug) << "no token pair: kept";
  }
}

// What another process, a page or a server sends shows in one line as itself: the line cannot
// be broken, coloured or made to look like an escape of something else.
TEST(LogLineTest, ValuesFromOutsideStayOnTheirLine) {
  const std::pair<std::string, std::string> rows[] = {
      {"plain text, 1-2 (ok)", "plain text, 1-2 (ok)"},
      {"", ""},
      {"a\nb", "a\\x0Ab"},
      {"a\r\nb", "a\\x0D\\x0Ab"},
      {std::string("a\0b", 3), "a\\x00b"},
      {"\t\x01\x1b[31m", "\\x09\\x01\\x1B[31m"},
      {"\x7f", "\\x7F"},
      {"C:\\x0A", "C:\\x5Cx0A"},
      {"\xc3\xbc\xe2\x80\xae", "\\xC3\\xBC\\xE2\\x80\\xAE"},
  };
  for (const auto& [value, shown] : rows) EXPECT_EQ(escapedForLog(value), shown) << shown;
}

class LogTargetDefaultTest : public ::testing::Test {
 protected:
  // A sink on DLM.log in the test's folder, initialised.
  std::unique_ptr<LogTargetDefault> openSink(int level = kLogTrace) {
    auto sink = std::make_unique<LogTargetDefault>("GDE", clock_);
    EXPECT_TRUE(sink->setLogFile("DLM.log", folder_.c_str()));
    sink->setLogLevel(level);
    EXPECT_TRUE(sink->init());
    return sink;
  }
  void makeLogOfSize(int64_t size) {
    wendtest::writeFile(logPath_, "");
    ASSERT_EQ(truncate(logPath_.c_str(), size), 0);
  }

  wendtest::LogsFolderEnvironment environment_;
  const std::string logs_ = environment_.logsFolder();
  const std::string folder_ = environment_.root();
  const std::string logPath_ = folder_ + "/DLM.log";
  const std::string rotated_ = folder_ + "/DLM 12-05-2026 20-44-34.log";
  wendtest::SemaphoreSetCleanup dlmSet_{logPath_, LogTargetDefault::kLockProjectId};
  wendtest::SemaphoreSetCleanup pandoSet_{logs_ + "/PANDO.log", LogTargetDefault::kLockProjectId};
  wendtest::FixedClock clock_{kDecember5th2026};
};

TEST_F(LogTargetDefaultTest, MarkerFilesLowerTheThreshold) {
  struct Case {
    Lines markers;  // a trailing slash makes a folder, which does not count
    const char* fileName;
    int requested, expected;
  } cases[] = {
      {{}, "DLM.log", 30, 30},
      {{"DLM.trace"}, "DLM.log", 30, 10},
      {{"DLM.debug"}, "DLM.log", 30, 20},
      {{"DLM.debug"}, "DLM.log", 10, 10},
      {{"DLM.debug", "ulex.trace"}, "DLM.log", 30, 20},
      {{"ulex.trace"}, "Fallow.log", 30, 10},
      {{"ulex.debug"}, "Wend.log", 40, 20},
      {{"Wend.trace"}, "DLM.log", 30, 30},
      {{"DLM.trace/", "ulex.trace/"}, "DLM.log", 30, 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.fileName << " " << c.requested << " " << testing::PrintToString(c.markers));
    std::filesystem::remove_all(logs_);
    std::filesystem::create_directories(logs_);
    for (const auto& marker : c.markers) {
      if (marker.back() == '/') std::filesystem::create_directories(logs_ + "/" + marker);
      if (marker.back() != '/') wendtest::writeFile(logs_ + "/" + marker, "");
    }
    LogTargetDefault sink("GDE", clock_);
    ASSERT_TRUE(sink.setLogFile(c.fileName, folder_.c_str()));
    sink.setLogLevel(c.requested);
    EXPECT_EQ(sink.getLogLevel(), c.expected);
  }
  std::filesystem::remove(logs_ + "/ulex.trace");
  wendtest::writeFile(logs_ + "/ulex.trace", "");
  EXPECT_EQ(LogTargetDefault("GDE", clock_).getLogLevel(), 10) << "the constructor honours them";
}

TEST_F(LogTargetDefaultTest, WithoutAFolderTheLogLivesInTheConsoleUsersLogsFolder) {
  LogTargetDefault sink("GDE", clock_);
  EXPECT_FALSE(sink.setLogFile("sub/DLM.log", folder_.c_str())) << "a name holds no folder";
  EXPECT_FALSE(LoggingCore::instance().addTarget(&sink)) << "nor does its init succeed";
  LogTargetDefault named("GDE", clock_);
  ASSERT_TRUE(named.setLogFile("Wend.log", nullptr));
  EXPECT_EQ(named.logFilePath(), logs_ + "/Wend.log");
  EXPECT_TRUE(wendtest::existsNoFollow(logs_ + "/Wend.log")) << "setLogFile creates the file";
  LogTargetDefault unnamed("GDE", clock_);
  ASSERT_TRUE(unnamed.init());
  EXPECT_EQ(unnamed.logFilePath(), logs_ + "/PANDO.log");
  unnamed.close();
  named.close();
}

TEST_F(LogTargetDefaultTest, LinesCarryEveryFieldAtTheThresholdCutAndNeverAToken) {
  auto sink = openSink(kLogInfo);
  writeRecord(*sink, "given", 1000);  // a record time other than 0 is kept
  writeRecord(*sink, "below", 0, kLogDebug);
  ASSERT_TRUE(LoggingCore::instance().addTarget(sink.get()));
  Logger logger("GDE", "", "1.0", "Setup", "ApplicationContext");
  logger.error("E17", "failed after %d tries", 3);
  logger.info("%s", std::string(5000, 'x').c_str());
  ASSERT_TRUE(LoggingCore::instance().removeTarget(sink.get()));
  sink->init();
  writeRecord(*sink, "Bearer eyJhbGciOiJSUzI1NiJ9.eyJzdWIiOiJ1In0.c2ln", 0, kLogError);

  const auto lines = linesOf(logPath_, false);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].substr(0, 32), "01/01/70 00:00:01:000 | [INFO] |");
  EXPECT_EQ(lines[1],
            "12/05/26 20:44:34:123 | [ERROR] |  | 1.0 | Setup | ApplicationContext | "
            "E17 |  | " +
                std::to_string(gettid()) + " | failed after 3 tries");
  EXPECT_EQ(fieldsOf(lines[2]).back(), std::string(4094, 'x')) << "messages are cut";
  EXPECT_EQ(fieldsOf(lines[3])[1], "[WARN]");
  EXPECT_EQ(fieldsOf(lines[3]).back(), "Found access/device token. Log skipped.");
}

TEST_F(LogTargetDefaultTest, InitRotatesAFileOfExactlyTenMebibytesNotOneByteLess) {
  for (int64_t size : {kRotateSize - 1, kRotateSize}) {
    std::filesystem::remove(rotated_);
    makeLogOfSize(size);
    auto sink = openSink();
    const bool rotates = size == kRotateSize;
    EXPECT_EQ(wendtest::existsNoFollow(rotated_), rotates) << size;
    EXPECT_EQ(std::filesystem::file_size(logPath_), rotates ? 0u : uint64_t(size));
    EXPECT_EQ(rotates ? std::filesystem::file_size(rotated_) : size, size);
  }
}

TEST_F(LogTargetDefaultTest, LaterRotationsWaitAnHourOfRecordTime) {
  auto sink = openSink();
  makeLogOfSize(kRotateSize);
  clock_.set(kDecember5th2026 + 2 * kHourMs);
  const std::string rotated = folder_ + "/DLM 12-05-2026 22-44-34.log";
  writeRecord(*sink, "same hour", kDecember5th2026 + kHourMs - 1000);
  writeRecord(*sink, "an hour later", kDecember5th2026 + kHourMs);
  EXPECT_FALSE(wendtest::existsNoFollow(rotated));
  writeRecord(*sink, "next line checks", kDecember5th2026 + kHourMs + 1000);
  ASSERT_TRUE(wendtest::existsNoFollow(rotated));
  EXPECT_EQ(linesOf(rotated).back(), "an hour later");
  EXPECT_EQ(linesOf(logPath_), Lines{"next line checks"});
}

TEST_F(LogTargetDefaultTest, AnOpenSinkMovesToItsNewFileAndClosingLeavesTheLock) {
  auto sink = openSink();
  const std::string other = folder_ + "/Other.log";
  writeRecord(*sink, "first");
  ASSERT_GE(dlmSet_.id(), 0);
  ASSERT_TRUE(sink->setLogFile("Other.log", folder_.c_str()));
  EXPECT_LT(dlmSet_.id(), 0) << "its only user removed the set";
  writeRecord(*sink, "second");
  EXPECT_TRUE(sink->close());
  writeRecord(*sink, "after close", 0, kLogError);
  EXPECT_EQ(linesOf(logPath_), Lines{"first"});
  EXPECT_EQ(linesOf(other), Lines{"second"});
  EXPECT_LT(wendtest::semaphoreSetOf(other, LogTargetDefault::kLockProjectId), 0);
}

TEST_F(LogTargetDefaultTest, AThreadWithAPendingCancellationFinishesItsRecord) {
  auto sink = openSink();
  std::thread writer([&] {
    pthread_cancel(pthread_self());
    writeRecord(*sink, "whole");
    pthread_testcancel();
  });
  writer.join();
  writeRecord(*sink, "lock still free");
  EXPECT_EQ(linesOf(logPath_), (Lines{"whole", "lock still free"}));
}

TEST_F(LogTargetDefaultTest, ForkedWritersLoseAndMixNoLineAcrossARotation) {
  // The log starts just short of the rotation size; every record is an hour after the one before,
  // so every writer checks the size at every line and exactly one of them rotates.
  std::string filler;
  while (filler.size() < kRotateSize - 100000) filler += "filler line\n";
  wendtest::writeFile(logPath_, filler);
  constexpr int kWriters = 4, kLines = 400;
  wendtest::Gate start;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    children.push_back(wendtest::forkChild([&, w] {
      start.pass();
      LogTargetDefault sink("GDE", clock_);
      if (!sink.setLogFile("DLM.log", folder_.c_str()) || !sink.init()) return 2;
      for (int i = 0; i < kLines; ++i) {
        writeRecord(sink, std::to_string(w) + " " + std::to_string(i) + std::string(120, 'a' + w),
                    kDecember5th2026 + (i + 1) * kHourMs);
      }
      return sink.close() ? 0 : 3;
    }));
  }
  start.open();
  for (int code : wendtest::waitChildren(children)) ASSERT_EQ(code, 0);

  ASSERT_TRUE(wendtest::existsNoFollow(rotated_));
  EXPECT_EQ(wendtest::readFile(rotated_).substr(0, filler.size()), filler);
  Lines lines = linesOf(rotated_), fresh = linesOf(logPath_);
  EXPECT_FALSE(fresh.empty());
  lines.insert(lines.end(), fresh.begin(), fresh.end());
  EXPECT_EQ(lines.size(), filler.size() / 12 + kWriters * kLines);
  EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()).size(), 1u + kWriters * kLines)
      << "each record's line, whole, once";
}

}  // namespace
}  // namespace pando
