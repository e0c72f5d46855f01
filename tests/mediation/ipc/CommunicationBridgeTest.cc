// Real FIFOs under /tmp, peers in other processes: another run of this executable (support/
// BridgePeer.cc) or a forked raw writer that speaks bytes, not packets.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "foundation/text/StringUtils.h"
#include "mediation/ipc/CommunicationBridge.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/Environment.h"
#include "tests/support/SelfAsChild.h"
#include "tests/support/TemporaryFolder.h"

namespace mediation {
namespace {

using Bridge = CommunicationBridge;
using Clock = std::chrono::steady_clock;

BridgeSettings fast() {
  BridgeSettings settings;
  settings.openRetryPause = std::chrono::milliseconds(5);
  settings.endOfFilePause = std::chrono::microseconds(100);
  return settings;
}

Bridge::CBPacket packet(uint32_t type, std::string data, uint32_t id = Bridge::kSenderId) {
  return Bridge::CBPacket{type, id, static_cast<uint32_t>(data.size() + 1), std::move(data)};
}

// Waits for the next packet or the channel's end (its code); 1 when 60 s pass without either.
int nextPacket(Bridge& bridge, Bridge::CBPacket& out) {
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  for (;;) {
    const int got = bridge.getPacket(out);
    if (got != Bridge::kNothingQueued || Clock::now() > deadline) return got;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

// The texts a channel delivered up to its end, the terminate packet's text last.
std::vector<std::string> drain(Bridge& bridge) {
  std::vector<std::string> texts;
  Bridge::CBPacket got;
  while (nextPacket(bridge, got) == Bridge::kOk) texts.push_back(got.data);
  return texts;
}

using wendtest::existsNoFollow;

class CommunicationBridgeTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(StringUtils::utilCreateUUIDString(name_)); }
  void TearDown() override {
    for (const std::string& path : {in(), out(), base() + "_target"}) unlink(path.c_str());
  }

  std::string base() const { return "/tmp/" + name_; }
  std::string in() const { return base() + "_IN"; }
  std::string out() const { return base() + "_OUT"; }

  // An echoing bridge process on this channel, with every wait scaled down.
  pid_t startEcho(int context) {
    wendtest::ScopedEnv scale("WEND_TIME_SCALE", "0.01");
    return wendtest::startSelf({"--bridge-echo", name_, std::to_string(context)});
  }

  // A forked process that holds the far end of the channel raw (it reads "_OUT" and writes
  // "_IN", the FIFOs must exist). Once awaitRaw lets it go it runs `act` on the two descriptors
  // and reports back, then exits, or waits to be killed when `linger` is set.
  pid_t startRaw(const std::function<void(int readFd, int writeFd)>& act, bool linger = false) {
    go_ = std::make_unique<wendtest::Gate>();
    if (pipe(ready_) != 0) return -1;
    pid_t pid = fork();
    if (pid != 0) {
      close(ready_[1]);
      return pid;
    }
    signal(SIGPIPE, SIG_IGN);
    int readFd = open(out().c_str(), O_RDONLY | O_NONBLOCK);
    int writeFd = open(in().c_str(), O_WRONLY);
    if (readFd < 0 || writeFd < 0) _exit(3);
    go_->pass();
    act(readFd, writeFd);
    if (write(ready_[1], "r", 1) != 1) _exit(4);
    while (linger) pause();
    _exit(0);
  }
  // Lets the raw peer act and blocks until it has.
  void awaitRaw() {
    go_->open();
    char byte;
    ASSERT_EQ(read(ready_[0], &byte, 1), 1);
    close(ready_[0]);
  }

  std::string name_;
  std::unique_ptr<wendtest::Gate> go_;
  int ready_[2] = {-1, -1};
};

TEST_F(CommunicationBridgeTest,
       BothStartOrdersAndNewNamesCarryTextsIntactAndInOrderFromFourWriters) {
  const std::vector<std::string> texts = {std::string(kMaxPacketSize - 1, 'x'), "&", "<",
                                          "gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x98\x80"};
  // One bridge: connected, closed and connected again under a new name.
  Bridge bridge(fast());
  for (bool peerFirst : {true, false}) {
    SCOPED_TRACE(peerFirst ? "peer first" : "bridge first");
    TearDown();
    SetUp();
    pid_t peer = -1;
    if (peerFirst) peer = startEcho(3);
    auto connected = std::async(std::launch::async,
                                [&] { return bridge.initCommBridge(1, name_, true, 20000); });
    if (!peerFirst) peer = startEcho(3);
    ASSERT_EQ(connected.get(), Bridge::kConnected);
    EXPECT_EQ(bridge.initCommBridge(1, name_, true, 20000), Bridge::kAlreadyInitialized);

    constexpr int kWriters = 4, kRounds = 3;
    std::vector<std::thread> writers;
    for (int writer = 0; writer < kWriters; ++writer) {
      writers.emplace_back([&, writer] {
        for (int round = 0; round < kRounds; ++round) {
          for (size_t i = 0; i < texts.size(); ++i) {
            // Types from 100 on, clear of the terminate type.
            uint32_t sequence = static_cast<uint32_t>(100 + round * texts.size() + i);
            EXPECT_EQ(bridge.writePacket(packet(sequence, texts[i], writer)), Bridge::kOk);
          }
        }
      });
    }
    for (std::thread& writer : writers) writer.join();
    // One text too long is refused and leaves the channel as it was.
    EXPECT_EQ(bridge.writePacket(packet(99, std::string(kMaxPacketSize, 'y'))), Bridge::kTooLarge);

    std::vector<uint32_t> nextSequence(kWriters, 100);
    for (size_t received = 0; received < kWriters * kRounds * texts.size(); ++received) {
      Bridge::CBPacket got;
      ASSERT_EQ(nextPacket(bridge, got), Bridge::kOk);
      ASSERT_LT(got.id, static_cast<uint32_t>(kWriters));
      EXPECT_EQ(got.type, nextSequence[got.id]++);
      EXPECT_EQ(got.data, texts[got.type % texts.size()]);
      EXPECT_EQ(got.size, got.data.size() + 1);
    }
    Bridge::CBPacket empty = packet(1, "stale");
    EXPECT_EQ(bridge.getPacket(empty), Bridge::kNothingQueued);
    EXPECT_EQ(std::tie(empty.type, empty.id, empty.size, empty.data),
              std::make_tuple(65535u, 65535u, 0u, std::string()));
    EXPECT_EQ(bridge.closeBridge(), Bridge::kOk);
    EXPECT_EQ(bridge.writePacket(packet(2, "late")), Bridge::kNotInitialized);
    EXPECT_EQ(wendtest::waitChild(peer), 0);
    EXPECT_TRUE(existsNoFollow(in()) && existsNoFollow(out()));
  }
}

TEST_F(CommunicationBridgeTest, BadNamesTouchNoFileAndMadeFifosArePrivateWhateverTheUmask) {
  Bridge bridge(fast());
  std::string oneHyphenLess = name_, misplaced = name_;
  oneHyphenLess.erase(8, 1);
  std::swap(misplaced[8], misplaced[9]);
  // Channel names are UUID text: anything else, however harmless it looks, names no channel.
  for (const std::string& name :
       {std::string(""), std::string(".."), std::string("a/b"), std::string(65, 'a'), name_ + "\n",
        std::string("a"), std::string("C0FFEE-1"), std::string(36, 'a'), oneHyphenLess, misplaced,
        "{" + name_ + "}", "G" + name_.substr(1)}) {
    EXPECT_EQ(bridge.initCommBridge(1, name, false, 0), Bridge::kBadName) << name;
    EXPECT_EQ(Bridge::createPipes(name), Bridge::kBadName) << name;
  }
  EXPECT_FALSE(existsNoFollow("/tmp/a") || existsNoFollow("/tmp/a_IN") ||
               existsNoFollow("/tmp/C0FFEE-1_IN"));
  for (int context : {0, 5}) {
    EXPECT_EQ(bridge.initCommBridge(context, name_, false, 0), Bridge::kBadName) << context;
  }
  EXPECT_FALSE(existsNoFollow(in()) || existsNoFollow(out()));

  const mode_t old = umask(0);
  EXPECT_EQ(bridge.initCommBridge(1, name_, false, 0), Bridge::kPeerAbsent);
  umask(old);
  for (const std::string& path : {in(), out()}) {
    struct stat info;
    ASSERT_EQ(lstat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode, S_IFIFO | 0600);
    EXPECT_EQ(info.st_uid, geteuid());
  }
}

TEST_F(CommunicationBridgeTest, UntrustworthyFifosAreRefusedBeforeAnyByteCrosses) {
  const std::string target = base() + "_target";
  struct Row {
    const char* name;
    std::function<void()> plant;
    int context;
    uid_t peerUid;
    bool needsRoot = false;  // to give a FIFO away
  };
  auto fifo = [](const std::string& path, mode_t mode) {
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
  };
  const uid_t other = geteuid() == 0 ? 65534 : geteuid() + 1;
  const Row rows[] = {
      {"regular file", [&] { close(open(out().c_str(), O_CREAT | O_WRONLY, 0600)); }, 1,
       Bridge::kOwnUid},
      {"link to our FIFO",
       [&] {
         fifo(target, 0600);
         ASSERT_EQ(symlink(target.c_str(), out().c_str()), 0);
       },
       1, Bridge::kOwnUid},
      {"link to a file",
       [&] {
         close(open(target.c_str(), O_CREAT | O_WRONLY, 0600));
         ASSERT_EQ(symlink(target.c_str(), in().c_str()), 0);
       },
       1, Bridge::kOwnUid},
      {"FIFO open to all", [&] { fifo(out(), 0666); }, 1, Bridge::kOwnUid},
      {"pair of another user than expected",
       [&] {
         fifo(in(), 0600);
         fifo(out(), 0600);
       },
       3, other},
      {"another user's FIFO",
       [&] {
         fifo(out(), 0600);
         ASSERT_EQ(chown(out().c_str(), other, other), 0);
       },
       1, Bridge::kOwnUid, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.needsRoot && geteuid() != 0) continue;
    TearDown();
    row.plant();
    // A reader on whatever the name leads to would see any byte written through it.
    const std::string reached = existsNoFollow(target) ? target : out();
    int watch = open(reached.c_str(), O_RDONLY | O_NONBLOCK);
    const bool hadIn = existsNoFollow(in()), hadOut = existsNoFollow(out());
    Bridge bridge(fast());
    EXPECT_EQ(bridge.initCommBridge(row.context, name_, true, 50, {}, row.peerUid),
              Bridge::kPipeFailure);
    EXPECT_EQ(bridge.writePacket(packet(2, "secret")), Bridge::kNotInitialized);
    char byte;
    EXPECT_LE(read(watch, &byte, 1), 0);
    close(watch);
    // Both ends are looked at before either is made: nothing is left beside a planted one.
    if (row.context == 1) {
      EXPECT_EQ(Bridge::createPipes(name_), Bridge::kPipeFailure);
    }
    EXPECT_EQ(existsNoFollow(in()), hadIn);
    EXPECT_EQ(existsNoFollow(out()), hadOut);
  }
}

TEST_F(CommunicationBridgeTest, MalformedOrBrokenStreamsEndTheChannelWithoutPartialPackets) {
  auto head = [](uint32_t type, uint32_t size) {
    unsigned char bytes[kPacketHeaderSize];
    encodeHeader(type, 65535, size, bytes);
    return std::string(reinterpret_cast<char*>(bytes), sizeof bytes);
  };
  std::string first;
  encodePacket(2, 65535, "first", first);
  struct Row {
    const char* name;
    std::string bytes;
    bool killed;  // SIGKILL after writing, else a clean exit
    std::vector<std::string> texts;
  };
  const Row rows[] = {
      {"partial header then exit", first + head(2, 9).substr(0, 7), false, {"first"}},
      {"size 0", head(2, 0) + "x", false, {}},
      // Decoded in the same read as the bad header: delivered before the channel ends.
      {"good packets then a bad header",
       first + first + head(2, 0) + "x",
       false,
       {"first", "first"}},
      {"size over the limit", head(2, kMaxPacketSize + 1), false, {}},
      {"inner NUL cuts the text", head(2, 5) + std::string("ab\0d\0", 5), false, {"ab"}},
      {"half a payload then killed",
       first + head(2, 1000) + std::string(500, 'h'),
       true,
       {"first"}},
      {"exit before any packet", "", false, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TearDown();
    ASSERT_EQ(Bridge::createPipes(name_), Bridge::kOk);
    pid_t peer = startRaw(
        [&](int, int writeFd) {
          if (write(writeFd, row.bytes.data(), row.bytes.size()) < 0) _exit(5);
        },
        row.killed);
    Bridge bridge(fast());
    ASSERT_EQ(bridge.initCommBridge(1, name_, true, 20000), Bridge::kConnected);
    awaitRaw();
    if (row.killed) kill(peer, SIGKILL);
    std::vector<std::string> expected = row.texts;
    expected.push_back(Bridge::kClosedText);
    EXPECT_EQ(drain(bridge), expected);
    EXPECT_EQ(bridge.writePacket(packet(2, "after")), Bridge::kNotInitialized);
    wendtest::waitChild(peer);
  }
}

TEST_F(CommunicationBridgeTest, PeerThatNeverOpensLeavesNoReadEndBehind) {
  Bridge bridge(fast());
  EXPECT_EQ(bridge.initCommBridge(1, name_, true, 1), Bridge::kPeerAbsent);
  // Nobody reads "_IN" any more: a writer cannot open it.
  EXPECT_EQ(open(in().c_str(), O_WRONLY | O_NONBLOCK), -1);
  EXPECT_EQ(errno, ENXIO);
  EXPECT_EQ(bridge.closeBridge(), Bridge::kJoinFailed);
  // A context 3 end never makes the FIFOs: missing ones are a peer not there yet.
  std::string other;
  ASSERT_TRUE(StringUtils::utilCreateUUIDString(other));
  EXPECT_EQ(bridge.initCommBridge(3, other, true, 1), Bridge::kPeerAbsent);
  EXPECT_FALSE(existsNoFollow("/tmp/" + other + "_IN") || existsNoFollow("/tmp/" + other + "_OUT"));
}

TEST_F(CommunicationBridgeTest, QuitEndsALongWaitForThePeer) {
  Bridge bridge(fast());
  std::atomic<int> asked{0};
  const auto start = Clock::now();
  // Quit once the bridge has asked while waiting: the first answer lets the wait begin.
  auto result = std::async(std::launch::async, [&] {
    return bridge.initCommBridge(1, name_, true, 60000, [&] { return ++asked > 1; });
  });
  EXPECT_EQ(result.get(), Bridge::kPeerAbsent);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));
}

TEST_F(CommunicationBridgeTest, SilentPeerDoesNotHoldTheClose) {
  ASSERT_EQ(Bridge::createPipes(name_), Bridge::kOk);
  pid_t peer = startRaw([](int, int) {}, true);
  {
    Bridge bridge(fast());
    ASSERT_EQ(bridge.initCommBridge(1, name_, true, 20000), Bridge::kConnected);
    awaitRaw();
    const auto start = Clock::now();
    EXPECT_EQ(bridge.closeBridge(), Bridge::kOk);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    // Connected again, the bridge is left to its destructor.
    ASSERT_EQ(bridge.initCommBridge(1, name_, true, 20000), Bridge::kConnected);
  }
  kill(peer, SIGKILL);
  wendtest::waitChild(peer);
}

TEST_F(CommunicationBridgeTest, WritesThatFindNoReaderFailHardExceptForAWholeHeader) {
  struct Row {
    const char* name;
    bool closeReadEnd;
    std::string text;  // sent until a write fails
    int result;
  };
  const Row rows[] = {
      // Small packets fill the FIFO until a header no longer fits; the stream stays whole.
      {"peer never reads, header", false, "x", Bridge::kWriteRetriesUsedUp},
      {"peer never reads, payload", false, std::string(kMaxPacketSize - 1, 'p'),
       Bridge::kWriteFailed},
      {"peer gone (no SIGPIPE)", true, "x", Bridge::kWriteFailed},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TearDown();
    ASSERT_EQ(Bridge::createPipes(name_), Bridge::kOk);
    const bool closeReadEnd = row.closeReadEnd;
    pid_t peer = startRaw(
        [closeReadEnd](int readFd, int) {
          if (closeReadEnd) close(readFd);
        },
        true);
    BridgeSettings settings = fast();
    settings.writeRetryPause = std::chrono::microseconds(10);
    Bridge bridge(settings);
    ASSERT_EQ(bridge.initCommBridge(1, name_, true, 20000), Bridge::kConnected);
    awaitRaw();
    int result = Bridge::kOk;
    for (int sent = 0; result == Bridge::kOk && sent < 100000; ++sent) {
      result = bridge.writePacket(packet(2, row.text));
    }
    EXPECT_EQ(result, row.result);
    if (row.result == Bridge::kWriteFailed) {
      EXPECT_EQ(bridge.writePacket(packet(2, "again")), Bridge::kNotInitialized);
      EXPECT_EQ(drain(bridge), std::vector<std::string>{Bridge::kSendErrorText});
    } else {
      EXPECT_TRUE(bridge.initialized());
    }
    kill(peer, SIGKILL);
    wendtest::waitChild(peer);
  }
}

TEST_F(CommunicationBridgeTest, FloodIntoAnUnreadBridgeBreaksItAtTheCap) {
  ASSERT_EQ(Bridge::createPipes(name_), Bridge::kOk);
  std::string wire;
  encodePacket(2, 65535, std::string(100000, 'f'), wire);
  pid_t peer = startRaw([&](int, int writeFd) {
    // Writes until the bridge stops reading.
    while (write(writeFd, wire.data(), wire.size()) > 0) {
    }
  });
  Bridge bridge(fast());
  ASSERT_EQ(bridge.initCommBridge(1, name_, true, 20000), Bridge::kConnected);
  awaitRaw();
  std::vector<std::string> texts = drain(bridge);
  // 167 texts fit under the 16 MiB cap; the 168th breaks the channel.
  ASSERT_EQ(texts.size(), 168u);
  EXPECT_EQ(texts.back(), Bridge::kClosedText);
  EXPECT_EQ(wendtest::waitChild(peer), 0);
}

}  // namespace
}  // namespace mediation
