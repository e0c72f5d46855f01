// A download killed with SIGKILL at random moments and resumed each time by a new process from
// its meta file ends byte-identical, and each resume fetches again at most what the killed
// process had in flight: one segment per downloader thread.
//
// The child process is this test program itself, started with only CrashResumeChild selected and
// the download described in its environment; it downloads through the engine's entry points.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/falloc.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <random>
#include <thread>
#include <vector>

#include "download/engine/DownloadLibrary.h"
#include "download/engine/FileDownloadManager.h"
#include "download/engine/files/EngineFileSystem.h"
#include "download/engine/resume/QuarryDFileManager.h"
#include "download/engine/resume/ResumeHeaders.h"
#include "tests/download/engine/support/EngineTestSupport.h"
#include "tests/download/engine/support/TestServerFixture.h"

extern char** environ;

namespace gde {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr uint64_t kFileSize = 64ull << 20;  // sanitizers slow the child down: a smaller file
#else
constexpr uint64_t kFileSize = 256ull << 20;
#endif
constexpr uint64_t kSeed = 2024;
constexpr uint32_t kThreads = 4;
constexpr uint32_t kSegmentSize = 0x200000;
// A whole undisturbed download takes about ten seconds, so ten kills land before it ends.
constexpr uint64_t kBytesPerSecondPerConnection = kFileSize / 40;
constexpr int kKills = 10;

const char* childEnv(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The child: one download through the entry points, to its end or until it is killed.
TEST(CrashResumeChild, DownloadsUntilDoneOrKilled) {
  if (!*childEnv("WEND_CRASH_URL")) GTEST_SKIP() << "runs only as the crash test's child";
  DLELibRef* library = nullptr;
  ASSERT_EQ(initDownloadLibrary(&library), 0);
  DLEFileDownloader* handle = nullptr;
  ASSERT_EQ(createFileDownloader(library, &handle), 0);
  DLEInputStruct request;
  request.serverfullpath = childEnv("WEND_CRASH_URL");
  request.targetFolder = childEnv("WEND_CRASH_FOLDER");
  request.targetFileName = "big.bin";
  request.adaptiveThreadRamp = 0;
  request.preferences.threadCount = kThreads;
  request.preferences.segmentSize = kSegmentSize;
  ASSERT_EQ(handle->init(request), 0);
  ASSERT_EQ(handle->start(), 0);
  DLEProgress progress;
  do {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    handle->getProgress(progress);
  } while (progress.state == kDleStateRunning || progress.state == kDleStateStopped);
  EXPECT_EQ(progress.state, kDleStateComplete);
  closeFileDownloader(&handle);
  endDownloadLibrary(&library);
}

// Byte ranges as a set of disjoint [first, last] intervals.
class RangeSet {
 public:
  void add(uint64_t first, uint64_t last) {
    uint64_t start = first, end = last;
    for (auto it = ranges_.begin(); it != ranges_.end();) {
      if (it->second + 1 < start || it->first > end + 1) {
        ++it;
        continue;
      }
      start = std::min(start, it->first);
      end = std::max(end, it->second);
      it = ranges_.erase(it);
    }
    ranges_[start] = end;
  }
  void add(const RangeSet& other) {
    for (const auto& [first, last] : other.ranges_) add(first, last);
  }
  // How many of the other set's bytes are in this one.
  uint64_t overlap(const RangeSet& other) const {
    uint64_t bytes = 0;
    for (const auto& [first, last] : other.ranges_) {
      for (const auto& [start, end] : ranges_) {
        const uint64_t from = std::max(start, first), to = std::min(end, last);
        if (from <= to) bytes += to - from + 1;
      }
    }
    return bytes;
  }

 private:
  std::map<uint64_t, uint64_t> ranges_;
};

class CrashResumeTest : public TestServerFixture {
 protected:
  pid_t spawnChild() {
    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry) env.emplace_back(*entry);
    env.push_back("WEND_CRASH_URL=" + url("/big.bin"));
    env.push_back("WEND_CRASH_FOLDER=" + scratch().path());
    env.push_back("WEND_ROOT=" + scratch().path());
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string self = "/proc/self/exe";
    std::string filter = "--gtest_filter=CrashResumeChild.*";
    char* argv[] = {self.data(), filter.data(), nullptr};
    posix_spawn_file_actions_t quiet;
    ::posix_spawn_file_actions_init(&quiet);
    ::posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    EXPECT_EQ(::posix_spawn(&pid, self.c_str(), &quiet, nullptr, argv, envp.data()), 0);
    ::posix_spawn_file_actions_destroy(&quiet);
    return pid;
  }

  // How many of the bytes asked for since the last call (the two-byte probe left out) earlier
  // processes had asked for. A range this process asks for twice (a transfer retried on a loaded
  // machine asks for a segment's rest again) is not a refetch from an earlier process.
  uint64_t refetchedSinceLastRun() {
    RangeSet thisRun;
    for (const auto& logged : server().requestsFor("/big.bin")) {
      unsigned long long first = 0, last = 0;
      if (std::sscanf(logged.range().c_str(), "bytes=%llu-%llu", &first, &last) != 2) continue;
      if (last - first + 1 <= 2) continue;
      thisRun.add(first, last);
    }
    server().clearLog();
    const uint64_t refetched = requestedBefore_.overlap(thisRun);
    requestedBefore_.add(thisRun);
    return refetched;
  }

  // Ranged bytes asked for since the log was cleared, the two-byte probe left out.
  uint64_t refetchedBytes(const std::string& path) {
    uint64_t total = 0;
    for (const auto& logged : server().requestsFor(path)) {
      unsigned long long first = 0, last = 0;
      if (std::sscanf(logged.range().c_str(), "bytes=%llu-%llu", &first, &last) != 2) continue;
      if (last - first + 1 > 2) total += last - first + 1;
    }
    return total;
  }

  bool fileMatches(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> chunk(1 << 20);
    for (uint64_t offset = 0; offset < kFileSize; offset += chunk.size()) {
      size_t length = static_cast<size_t>(std::min<uint64_t>(chunk.size(), kFileSize - offset));
      if (!in.read(chunk.data(), static_cast<std::streamsize>(length))) return false;
      if (std::string(chunk.data(), length) != generatedBytes(kSeed, offset, length)) return false;
    }
    return in.peek() == EOF;
  }

  RangeSet requestedBefore_;
};

TEST_F(CrashResumeTest, EveryKilledDownloadResumesFromItsMetaFileAndEndsIdentical) {
  server().addGenerated("/big.bin", kFileSize, kSeed);
  testserver::Fault slow;
  slow.kind = testserver::FaultKind::SlowBody;
  slow.bytes = kBytesPerSecondPerConnection;
  server().addRule(testserver::Rule{"/big.bin", 1, 0, slow});
  const std::string target = (scratch() / "big.bin");
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> delayMs(50, 600);
  uint64_t worst = 0;

  for (int kill = 1; kill <= kKills; ++kill) {
    pid_t child = spawnChild();
    ASSERT_GT(child, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, WNOHANG), 0) << "the download ended before kill " << kill;
    ::kill(child, SIGKILL);
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    uint64_t refetched = refetchedSinceLastRun();
    EXPECT_LE(refetched, uint64_t{kThreads} * kSegmentSize) << "after kill " << kill - 1;
    worst = std::max(worst, refetched);
    EXPECT_FALSE(fileExists(target));
  }

  pid_t child = spawnChild();
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  uint64_t refetched = refetchedSinceLastRun();
  EXPECT_LE(refetched, uint64_t{kThreads} * kSegmentSize);
  RecordProperty("worst_refetch_bytes", std::to_string(std::max(worst, refetched)));
  EXPECT_TRUE(fileMatches(target));
  EXPECT_FALSE(fileExists(target + ".quarrydownload.quarryd"));
}

// What a kill at the final step leaves, or a partial file damaged under an intact meta file: each
// resume ends byte-identical and fetches again only what the disk lacks.
TEST_F(CrashResumeTest, ResumesEveryStateTheFinalStepCanLeave) {
  constexpr uint64_t kSize = 3 * kSegmentSize + 12345;
  constexpr uint32_t kSegments = 4;
  server().addGenerated("/small.bin", kSize, kSeed);
  const std::string target = scratch() / "small.bin";
  const std::string partial = target + ".quarrydownload";
  const std::string meta = partial + ".quarryd";
  enum class Damage { None, Renamed, CutShort, Hole };
  struct Case {
    const char* name;
    Damage damage;
    uint64_t refetch;  // ranged bytes fetched again; UINT64_MAX: the run fails before any request
  };
  for (const Case& c : {Case{"killed before the rename", Damage::None, 0},
                        Case{"killed after the rename", Damage::Renamed, UINT64_MAX},
                        Case{"partial cut short", Damage::CutShort, kSize},
                        Case{"hole in a written segment", Damage::Hole, kSegmentSize}}) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(target);
    // Every byte written and every record saying so: the state just before the rename.
    std::ofstream(partial, std::ios::binary) << generatedBytes(kSeed, 0, kSize);
    QuarryDFileManager records;
    int error = 0;
    ASSERT_TRUE(createLocalFile(meta, error) && records.open(meta) && records.writeMagic());
    ASSERT_TRUE(records.writeHeaders(
        ResumeHeaders::build(kSize, kSegmentSize, "\"gen-2024-" + std::to_string(kSize) + "\"",
                             url("/small.bin"), 0, kSize),
        kSegments - 1));
    for (uint32_t i = 0; i < kSegments; ++i) {
      ASSERT_TRUE(records.writeSegmentProgress(
          i, i + 1 < kSegments ? kSegmentSize : static_cast<uint32_t>(kSize % kSegmentSize)));
    }
    records.close();
    if (c.damage == Damage::Renamed) std::filesystem::rename(partial, target);
    if (c.damage == Damage::CutShort) std::filesystem::resize_file(partial, kSize / 4);
    if (c.damage == Damage::Hole) {
      const int fd = ::open(partial.c_str(), O_WRONLY);
      const bool punched = ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE,
                                       kSegmentSize + 4096, 8192) == 0;
      ::close(fd);
      if (!punched) continue;  // the file system keeps no holes: nothing to find
    }
    server().clearLog();
    FileDownloadManager manager(testing::quickSettings(), EngineClock::steady(),
                                testing::quickHttp());
    DLEInputStruct request =
        testing::requestFor(url("/small.bin"), scratch().path(), kThreads, kSegmentSize);
    request.targetFileName = "small.bin";
    ASSERT_EQ(manager.init(request), 0);
    if (c.refetch == UINT64_MAX) {
      EXPECT_EQ(manager.start(), -1);
      DLEErrorInfo last;
      manager.getLastError(last);
      EXPECT_EQ(last.errorType, kDleErrorNameClash);
      EXPECT_TRUE(server().requests().empty());
      EXPECT_FALSE(fileExists(meta));
    } else {
      ASSERT_EQ(manager.start(), 0);
      EXPECT_EQ(testing::waitForState(manager, {1, 5, 6, 7}), kDleStateComplete);
      manager.stop();
      EXPECT_EQ(refetchedBytes("/small.bin"), c.refetch);
      EXPECT_FALSE(fileExists(meta));
    }
    EXPECT_EQ(wendtest::readFile(target), generatedBytes(kSeed, 0, kSize));
  }
}

}  // namespace
}  // namespace gde
