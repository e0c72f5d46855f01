#include <gtest/gtest.h>

#include <string>

#include "foundation/threads/LockableObject.h"
#include "foundation/threads/ObjectMap.h"
#include "foundation/threads/ObjectQueue.h"
#include "tests/support/OnThreads.h"

namespace pando {
namespace {

// A lock that does not exclude loses increments (and ThreadSanitizer reports the race).
TEST(LockableObjectTest, PlainAndNamedLocksExcludeOtherThreadsAndANamedOneLetsItsHolderIn) {
  LockableObject plain;
  LockableObject named("DLEHTTPCommunicator::HttpCommunicator::NTLM");
  {
    ScopedLock outer(&named);
    ScopedLock inner(&named);
  }
  for (LockableObject* lockable : {&plain, &named}) {
    int counter = 0;
    wendtest::onThreads(4, [&](int) {
      for (int i = 0; i < 10000; ++i) {
        ScopedLock hold(lockable);
        ++counter;
      }
    });
    EXPECT_EQ(counter, 40000);
  }
}

TEST(ObjectQueueAndMapTest, KeepOrderLoseNoPushFromManyThreadsAndKeepAnExistingKeysValue) {
  ObjectQueue<std::string> queue, ordered;
  wendtest::onThreads(4, [&queue](int t) {
    for (int i = 0; i < 1000; ++i) queue.push(std::to_string(t));
  });
  EXPECT_EQ(queue.size(), 4000u);
  ordered.push("a");
  ordered.push("b");
  std::string out;
  EXPECT_TRUE(ordered.pop(out) && out == "a" && ordered.pop(out) && out == "b");
  EXPECT_FALSE(ordered.pop(out) || out != "b") << "an empty queue leaves `out` alone";

  ObjectMap<std::string, int> map;
  int value = 0;
  EXPECT_TRUE(map.insert("one", 1) && !map.insert("one", 2) && map.find("one", value));
  EXPECT_TRUE(map.erase("one") && !map.erase("one") && !map.find("one", value) && value == 1);
}

}  // namespace
}  // namespace pando
