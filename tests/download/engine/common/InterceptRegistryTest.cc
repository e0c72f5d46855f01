#include <gtest/gtest.h>

#include <vector>

#include "download/engine/common/InterceptRegistry.h"

namespace gde {
namespace {

class Answering : public IDleIntercept {
 public:
  Answering(int32_t answer, std::vector<int>& calls, int id)
      : answer_(answer), calls_(calls), id_(id) {}
  int32_t onEvent(int32_t, const void*, uint32_t) override {
    calls_.push_back(id_);
    return answer_;
  }

 private:
  int32_t answer_;
  std::vector<int>& calls_;
  int id_;
};

TEST(InterceptRegistryTest, AnEventWithoutInterceptsAnswersZero) {
  InterceptRegistry registry;
  EXPECT_EQ(registry.notify(8, nullptr, 0), 0);
  EXPECT_FALSE(registry.add(8, nullptr));
}

TEST(InterceptRegistryTest, DeliversInOrderUntilAnInterceptStopsTheDelivery) {
  std::vector<int> calls;
  Answering first(0, calls, 1), second(IDleIntercept::kStopDelivery, calls, 2), third(0, calls, 3);
  InterceptRegistry registry;
  registry.add(2, &first);
  registry.add(2, &second);
  registry.add(2, &third);
  registry.add(3, &third);
  EXPECT_EQ(registry.notify(2, nullptr, 0), IDleIntercept::kStopDelivery);
  EXPECT_EQ(calls, (std::vector<int>{1, 2}));
}

TEST(InterceptRegistryTest, AnswersWithTheLastInterceptCalled) {
  std::vector<int> calls;
  Answering rejects(1, calls, 1), accepts(0, calls, 2);
  InterceptRegistry registry;
  registry.add(2, &rejects);
  registry.add(2, &accepts);
  EXPECT_EQ(registry.notify(2, nullptr, 0), 0);
}

}  // namespace
}  // namespace gde
