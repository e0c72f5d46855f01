#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "foundation/threads/LockableObject.h"
#include "foundation/threads/ObjectMap.h"
#include "foundation/threads/ObjectQueue.h"

namespace pando {
namespace {

// Runs `work` on four threads at once.
template <typename Work>
void onFourThreads(Work work) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) threads.emplace_back(work);
  for (auto& thread : threads) thread.join();
}

// A lock that does not exclude loses increments (and ThreadSanitizer reports the race).
TEST(LockableObjectTest, PlainAndNamedLocksExcludeOtherThreadsAndANamedOneLetsItsHolderIn) {
  LockableObject plain;
  LockableObject named("DLEHTTPCommunicator::HttpCommunicator::NTLM");
  EXPECT_TRUE(plain.usesMutex());
  EXPECT_FALSE(named.usesMutex());
  {
    ScopedLock outer(&named);
    ScopedLock inner(&named);
  }
  for (LockableObject* lockable : {&plain, &named}) {
    int counter = 0;
    onFourThreads([&] {
      for (int i = 0; i < 10000; ++i) {
        ScopedLock hold(lockable);
        ++counter;
      }
    });
    EXPECT_EQ(counter, 40000);
  }
}

TEST(ObjectQueueTest, KeepsOrderAndLosesNoPushFromManyThreads) {
  ObjectQueue<std::string> queue;
  onFourThreads([&queue] {
    for (int i = 0; i < 1000; ++i) queue.push(std::to_string(i));
  });
  EXPECT_EQ(queue.size(), 4000u);
  ObjectQueue<std::string> ordered;
  EXPECT_TRUE(ordered.push("a"));
  EXPECT_TRUE(ordered.push("b"));
  std::string out;
  ASSERT_TRUE(ordered.pop(out) && out == "a" && ordered.pop(out) && out == "b");
  EXPECT_FALSE(ordered.pop(out));
  EXPECT_EQ(out, "b");
}

TEST(ObjectMapTest, AnExistingKeyKeepsItsValue) {
  ObjectMap<std::string, int> map;
  EXPECT_TRUE(map.insert("one", 1));
  EXPECT_FALSE(map.insert("one", 2));
  int value = 0;
  ASSERT_TRUE(map.find("one", value));
  EXPECT_EQ(value, 1);
  EXPECT_TRUE(map.erase("one"));
  EXPECT_FALSE(map.erase("one"));
  EXPECT_FALSE(map.find("one", value));
  EXPECT_EQ(value, 1);
}

}  // namespace
}  // namespace pando
