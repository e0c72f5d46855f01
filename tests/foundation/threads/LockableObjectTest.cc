#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "foundation/threads/LockableObject.h"
#include "foundation/threads/ObjectMap.h"
#include "foundation/threads/ObjectQueue.h"

namespace pando {
namespace {

// Increments a plain counter from several threads under the lock; a lock that does not exclude
// loses increments (and ThreadSanitizer reports the race).
int countUnder(LockableObject& lockable) {
  int counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        ScopedLock hold(&lockable);
        ++counter;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  return counter;
}

TEST(LockableObjectTest, UnnamedLockIsAPlainMutex) {
  LockableObject lockable;
  EXPECT_TRUE(lockable.usesMutex());
  EXPECT_EQ(countUnder(lockable), 40000);
}

TEST(LockableObjectTest, NamedLockExcludesOtherThreadsAndLetsItsHolderIn) {
  LockableObject lockable("DLEHTTPCommunicator::HttpCommunicator::NTLM");
  EXPECT_FALSE(lockable.usesMutex());
  EXPECT_EQ(lockable.name(), "DLEHTTPCommunicator::HttpCommunicator::NTLM");
  {
    ScopedLock outer(&lockable);
    ScopedLock inner(&lockable);
  }
  EXPECT_EQ(countUnder(lockable), 40000);
}

TEST(ObjectQueueTest, KeepsOrderAndAcceptsEveryPush) {
  ObjectQueue<std::string> queue;
  EXPECT_TRUE(queue.push("a"));
  EXPECT_TRUE(queue.push("b"));
  std::string out;
  ASSERT_TRUE(queue.pop(out));
  EXPECT_EQ(out, "a");
  ASSERT_TRUE(queue.pop(out));
  EXPECT_EQ(out, "b");
  out = "untouched";
  EXPECT_FALSE(queue.pop(out));
  EXPECT_EQ(out, "untouched");
}

TEST(ObjectQueueTest, ManyThreadsPushWithoutLoss) {
  ObjectQueue<int> queue;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&queue] {
      for (int i = 0; i < 1000; ++i) queue.push(i);
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(queue.size(), 4000u);
}

TEST(ObjectMapTest, InsertFindAndErase) {
  ObjectMap<std::string, int> map;
  EXPECT_TRUE(map.insert("one", 1));
  EXPECT_FALSE(map.insert("one", 2)) << "an existing key keeps its value";
  int value = 0;
  ASSERT_TRUE(map.find("one", value));
  EXPECT_EQ(value, 1);
  EXPECT_TRUE(map.erase("one"));
  EXPECT_FALSE(map.erase("one"));
  value = 7;
  EXPECT_FALSE(map.find("one", value));
  EXPECT_EQ(value, 7);
}

}  // namespace
}  // namespace pando
