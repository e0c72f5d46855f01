#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

#include "foundation/logging/LogTargetDefault.h"
#include "foundation/logging/Logger.h"
#include "foundation/logging/LoggingCore.h"
#include "tests/foundation/logging/support/LogsFolderEnvironment.h"
#include "tests/support/ChildProcesses.h"

namespace pando {
namespace {

using wendtest::FixedClock;

constexpr int64_t kDecember5th2026 = 1796503474123;  // 20:44:34.123 UTC
constexpr int64_t kHourMs = 3600 * 1000;
constexpr int64_t kRotateSize = 10485760;

std::vector<std::string> linesOf(const std::string& path) {
  std::vector<std::string> lines;
  std::stringstream text(wendtest::readFile(path));
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> fieldsOf(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t bar; (bar = line.find(" | ", start)) != std::string::npos; start = bar + 3) {
    fields.push_back(line.substr(start, bar - start));
  }
  fields.push_back(line.substr(start));
  return fields;
}

std::string messageOf(const std::string& line) {
  return fieldsOf(line).back();
}

std::vector<std::string> messagesOf(const std::string& path) {
  std::vector<std::string> messages;
  for (const std::string& line : linesOf(path)) messages.push_back(messageOf(line));
  return messages;
}

void writeRecord(LogTargetDefault& sink, int level, const std::string& message,
                 int64_t timeMs = 0) {
  sink.write(level, "", "", "", "", "", "", message.c_str(), nullptr, timeMs);
}

class LogTargetDefaultTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const auto& path : {logPath(), logsFolder() + "/PANDO.log"}) {
      int id = semget(ftok(path.c_str(), LogTargetDefault::kLockProjectId), 0, 0);
      if (id >= 0) semctl(id, 0, IPC_RMID);
    }
  }

  std::string logsFolder() const { return environment_.logsFolder(); }
  std::string logFolder() const { return environment_.root(); }
  std::string logPath() const { return logFolder() + "/DLM.log"; }

  // A sink on DLM.log in the test's folder, initialised.
  std::unique_ptr<LogTargetDefault> openSink(int level = kLogTrace) {
    auto sink = std::make_unique<LogTargetDefault>("GDE", clock_);
    EXPECT_TRUE(sink->setLogFile("DLM.log", logFolder().c_str()));
    sink->setLogLevel(level);
    EXPECT_TRUE(sink->init());
    return sink;
  }

  void makeMarker(const std::string& name) { wendtest::writeFile(logsFolder() + "/" + name, ""); }

  wendtest::LogsFolderEnvironment environment_;
  FixedClock clock_{kDecember5th2026};
};

TEST_F(LogTargetDefaultTest, MarkerFilesLowerTheThreshold) {
  struct Case {
    std::vector<std::string> markers;
    const char* fileName;
    int requested;
    int expected;
  };
  const Case cases[] = {
      {{}, "DLM.log", 30, 30},
      {{"DLM.trace"}, "DLM.log", 30, 10},
      {{"DLM.debug"}, "DLM.log", 30, 20},
      {{"DLM.debug"}, "DLM.log", 10, 10},
      {{"DLM.debug", "ulex.trace"}, "DLM.log", 30, 20},
      {{"ulex.trace"}, "Fallow.log", 30, 10},
      {{"ulex.debug"}, "Wend.log", 40, 20},
      {{"ulex.debug"}, "Wend.log", 20, 20},
      {{"Wend.trace"}, "DLM.log", 30, 30},
      {{"DLM.trace/", "ulex.trace/"}, "DLM.log", 30, 30},  // folders do not count
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.fileName << " " << c.requested << " with "
                                    << (c.markers.empty() ? "no marker" : c.markers[0]));
    std::filesystem::remove_all(logsFolder());
    std::filesystem::create_directories(logsFolder());
    for (const auto& marker : c.markers) {
      if (marker.back() == '/') std::filesystem::create_directories(logsFolder() + "/" + marker);
      if (marker.back() != '/') makeMarker(marker);
    }
    LogTargetDefault sink("GDE", clock_);
    ASSERT_TRUE(sink.setLogFile(c.fileName, logFolder().c_str()));
    sink.setLogLevel(c.requested);
    EXPECT_EQ(sink.getLogLevel(), c.expected);
  }
  std::filesystem::remove(logsFolder() + "/ulex.trace");
  makeMarker("ulex.trace");
  EXPECT_EQ(LogTargetDefault("GDE", clock_).getLogLevel(), 10) << "the constructor honours them";
}

TEST_F(LogTargetDefaultTest, WithoutAFolderTheLogLivesInTheConsoleUsersLogsFolder) {
  LogTargetDefault sink("GDE", clock_);
  EXPECT_FALSE(sink.setLogFile("sub/DLM.log", logFolder().c_str())) << "a name holds no folder";
  EXPECT_FALSE(sink.init());
  EXPECT_FALSE(LoggingCore::instance().addTarget(&sink));
  LogTargetDefault named("GDE", clock_);
  ASSERT_TRUE(named.setLogFile("Wend.log", nullptr));
  EXPECT_EQ(named.logFilePath(), logsFolder() + "/Wend.log");
  EXPECT_TRUE(wendtest::existsNoFollow(logsFolder() + "/Wend.log"))
      << "setLogFile creates the file";

  LogTargetDefault unnamed("GDE", clock_);
  ASSERT_TRUE(unnamed.init());
  EXPECT_EQ(unnamed.logFilePath(), logsFolder() + "/PANDO.log");
  unnamed.close();
  named.close();
}

TEST_F(LogTargetDefaultTest, LinesCarryEveryFieldOfTheRecord) {
  auto sink = openSink();
  writeRecord(*sink, kLogInfo, "given", 1000);  // a record time other than 0 is kept
  ASSERT_TRUE(LoggingCore::instance().addTarget(sink.get()));
  Logger logger("GDE", "", "1.0", "Setup", "ApplicationContext");
  logger.error("E17", "failed after %d tries", 3);
  ASSERT_TRUE(LoggingCore::instance().removeTarget(sink.get()));

  auto lines = linesOf(logPath());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1],
            "12/05/26 20:44:34:123 | [ERROR] |  | 1.0 | Setup | ApplicationContext | E17 "
            "|  | " +
                std::to_string(gettid()) + " | failed after 3 tries");
  EXPECT_EQ(fieldsOf(lines[0])[0], "01/01/70 00:00:01:000");
}

TEST_F(LogTargetDefaultTest, WritesAtTheThresholdAndNeverAToken) {
  auto sink = openSink(kLogWarn);
  writeRecord(*sink, kLogInfo, "below");
  writeRecord(*sink, kLogWarn, "at");
  writeRecord(*sink, kLogError, "Bearer eyJhbGciOiJSUzI1NiJ9.eyJzdWIiOiJ1In0.c2ln");
  const auto lines = linesOf(logPath());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(messageOf(lines[0]), "at");
  EXPECT_EQ(fieldsOf(lines[1])[1], "[WARN]");
  EXPECT_EQ(messageOf(lines[1]), "Found access/device token. Log skipped.");
}

TEST_F(LogTargetDefaultTest, InitRotatesAFileOfExactlyTenMebibytesNotOneByteLess) {
  const std::string rotated = logFolder() + "/DLM 12-05-2026 20-44-34.log";
  for (int64_t size : {kRotateSize - 1, kRotateSize}) {
    std::filesystem::remove(rotated);
    wendtest::writeFile(logPath(), "");
    ASSERT_EQ(truncate(logPath().c_str(), size), 0);
    auto sink = openSink();
    const bool rotates = size == kRotateSize;
    EXPECT_EQ(wendtest::existsNoFollow(rotated), rotates) << size;
    EXPECT_EQ(std::filesystem::file_size(logPath()), rotates ? 0u : uint64_t(size));
    if (rotates) {
      EXPECT_EQ(std::filesystem::file_size(rotated), uint64_t(size));
    }
  }
}

TEST_F(LogTargetDefaultTest, LaterRotationsWaitAnHourOfRecordTime) {
  auto sink = openSink();
  ASSERT_EQ(truncate(logPath().c_str(), kRotateSize), 0);
  clock_.set(kDecember5th2026 + 2 * kHourMs);

  writeRecord(*sink, kLogInfo, "same hour", kDecember5th2026 + kHourMs - 1000);
  writeRecord(*sink, kLogInfo, "an hour later", kDecember5th2026 + kHourMs);
  EXPECT_FALSE(wendtest::existsNoFollow(logFolder() + "/DLM 12-05-2026 22-44-34.log"));
  writeRecord(*sink, kLogInfo, "next line checks", kDecember5th2026 + kHourMs + 1000);

  const std::string rotated = logFolder() + "/DLM 12-05-2026 22-44-34.log";
  ASSERT_TRUE(wendtest::existsNoFollow(rotated));
  EXPECT_EQ(messagesOf(rotated).back(), "an hour later");
  EXPECT_EQ(messagesOf(logPath()), std::vector<std::string>{"next line checks"});
}

TEST_F(LogTargetDefaultTest, AFailedCopyLeavesTheLogGrowing) {
  wendtest::writeFile(logPath(), "");
  ASSERT_EQ(truncate(logPath().c_str(), kRotateSize), 0);
  wendtest::writeFile(logFolder() + "/DLM 12-05-2026 20-44-34.log", "an older copy");
  auto sink = openSink();
  writeRecord(*sink, kLogInfo, "kept");

  struct stat info;
  ASSERT_EQ(stat(logPath().c_str(), &info), 0);
  EXPECT_GT(info.st_size, kRotateSize);
  EXPECT_EQ(wendtest::readFile(logFolder() + "/DLM 12-05-2026 20-44-34.log"), "an older copy");
}

TEST_F(LogTargetDefaultTest, AnOpenSinkMovesToItsNewFileAndClosingLeavesTheLock) {
  auto sink = openSink();
  writeRecord(*sink, kLogInfo, "first");
  ASSERT_GE(semget(ftok(logPath().c_str(), 11), 0, 0), 0);
  ASSERT_TRUE(sink->setLogFile("Other.log", logFolder().c_str()));
  EXPECT_LT(semget(ftok(logPath().c_str(), 11), 0, 0), 0) << "its only user removed the set";
  writeRecord(*sink, kLogInfo, "second");
  EXPECT_TRUE(sink->close());
  writeRecord(*sink, kLogError, "after close");
  EXPECT_EQ(messagesOf(logPath()), std::vector<std::string>{"first"});
  EXPECT_EQ(messagesOf(logFolder() + "/Other.log"), std::vector<std::string>{"second"});
  EXPECT_LT(semget(ftok((logFolder() + "/Other.log").c_str(), 11), 0, 0), 0);
}

TEST_F(LogTargetDefaultTest, AThreadWithAPendingCancellationFinishesItsRecord) {
  auto sink = openSink();
  std::thread writer([&] {
    pthread_cancel(pthread_self());
    writeRecord(*sink, kLogInfo, "whole");
    pthread_testcancel();
  });
  writer.join();
  writeRecord(*sink, kLogInfo, "lock still free");
  EXPECT_EQ(messagesOf(logPath()), (std::vector<std::string>{"whole", "lock still free"}));
}

// Checks that every expected message appears exactly once, on a well-formed line.
void expectEveryLineOnce(const std::vector<std::string>& lines, int writers, int perWriter) {
  std::map<std::string, int> seen;
  for (const auto& line : lines) {
    if (line.rfind("filler", 0) == 0) continue;
    auto fields = fieldsOf(line);
    ASSERT_EQ(fields.size(), 10u) << line;
    ++seen[fields[9]];
  }
  ASSERT_EQ(seen.size(), static_cast<size_t>(writers * perWriter));
  for (const auto& [message, count] : seen) EXPECT_EQ(count, 1) << message;
}

std::string recordText(int writer, int line) {
  return "writer " + std::to_string(writer) + " line " + std::to_string(line) + " " +
         std::string(120, static_cast<char>('a' + writer));
}

TEST_F(LogTargetDefaultTest, ForkedWritersLoseAndMixNoLineAcrossARotation) {
  // The log starts just short of the rotation size; every record is an hour after the one before,
  // so every writer checks the size at every line and exactly one of them rotates.
  std::string filler;
  while (filler.size() < kRotateSize - 100000) filler += "filler line\n";
  wendtest::writeFile(logPath(), filler);
  constexpr int kWriters = 4, kLines = 400;
  wendtest::Gate start;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    children.push_back(wendtest::forkChild([&, w] {
      start.pass();
      LogTargetDefault sink("GDE", clock_);
      if (!sink.setLogFile("DLM.log", logFolder().c_str()) || !sink.init()) return 2;
      for (int i = 0; i < kLines; ++i) {
        writeRecord(sink, kLogInfo, recordText(w, i), kDecember5th2026 + (i + 1) * kHourMs);
      }
      sink.close();
      return 0;
    }));
  }
  start.open();
  for (int code : wendtest::waitChildren(children)) ASSERT_EQ(code, 0);

  const std::string rotated = logFolder() + "/DLM 12-05-2026 20-44-34.log";
  ASSERT_TRUE(wendtest::existsNoFollow(rotated));
  auto lines = linesOf(rotated);
  auto fresh = linesOf(logPath());
  EXPECT_FALSE(fresh.empty());
  lines.insert(lines.end(), fresh.begin(), fresh.end());
  expectEveryLineOnce(lines, kWriters, kLines);
  EXPECT_EQ(wendtest::readFile(rotated).substr(0, filler.size()), filler);
}

}  // namespace
}  // namespace pando
