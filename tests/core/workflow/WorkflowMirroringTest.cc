#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/workflow/WorkflowBlocks.h"
#include "foundation/logging/LogCallback.h"
#include "tests/core/workflow/support/InMemoryLink.h"
#include "tests/core/workflow/support/WorkflowRig.h"
#include "tests/support/CapturingLogger.h"

namespace {

using wendtest::CapturingLogger;
using wendtest::InMemoryLink;
using wendtest::WorkflowRig;

// Every field a different value, the error negative, the progress a float.
const WorkflowStateBlock kBlock{
    code(WorkflowState::kApplicationsDocument), 8, 2, -3, 1, 0, 1, 2.0f, 9};
constexpr char kGoldenBlock[] = "AhMAAAgAAAACAAAA/f///wEAAQAAAABACQAAAA==";
constexpr char kGoldenEstimate[] = "AwAAAAcAAAAqAAAA";

// Both blocks' wire bytes and Base64 both ways; the padding byte is ignored on receipt.
TEST(WorkflowBlocks, BothBlocksHaveTheirWireBytes) {
  std::array<uint8_t, 28> expected = {0x02, 0x13, 0, 0, 8, 0, 0, 0, 2, 0,    0, 0, 0xfd, 0xff,
                                      0xff, 0xff, 1, 0, 1, 0, 0, 0, 0, 0x40, 9, 0, 0,    0};
  EXPECT_EQ(kBlock.toBytes(), expected);
  EXPECT_EQ(encodeStateBlock(kBlock), kGoldenBlock);
  const auto back = decodeStateBlock(kGoldenBlock);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->toBytes(), expected);
  expected[19] = 0x5a;
  EXPECT_EQ(WorkflowStateBlock::fromBytes(expected).toBytes(), kBlock.toBytes());
  EXPECT_EQ(encodeProgressEstimate({3, 7, 42}), kGoldenEstimate);
  EXPECT_EQ(decodeProgressEstimate(kGoldenEstimate), (ProgressEstimateBlock{3, 7, 42}));
}

// Damaged packets: not Base64, or the wrong decoded length, change nothing.
TEST(WorkflowMirroring, DamagedPacketsChangeNothing) {
  WorkflowRig rig(WorkflowRole::kSilent);
  rig.workflow->setStateCode(WorkflowState::kAcquireLocks);
  const WorkflowStateBlock before = rig.workflow->stateBlock();
  for (const char* text : {"", "!!!!", "A", "eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4",
                           "eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHg=", kGoldenEstimate}) {
    SCOPED_TRACE(text);
    EXPECT_TRUE(rig.workflow->onProgressStatePacket(text));
    EXPECT_EQ(rig.workflow->stateBlock().toBytes(), before.toBytes());
  }
  for (const char* text : {"", "eHh4eHh4eHh4eHg=", kGoldenBlock}) {
    EXPECT_TRUE(rig.workflow->onProductProgressStatePacket(text));
    EXPECT_EQ(rig.workflow->progressEstimate(), ProgressEstimateBlock{});
  }
}

// A received block is taken whole or not at all: one field out of its range, or text the encoder
// would not have written, leaves both blocks as they were, with one log line per packet.
TEST(WorkflowMirroring, PacketsWithABadFieldOrLooseBase64AreIgnoredWhole) {
  using Change = void (*)(WorkflowStateBlock&);
  const std::pair<const char*, Change> stateRows[] = {
      {"state never used", [](WorkflowStateBlock& b) { b.stateCode = 0x1303; }},
      {"state beyond the last", [](WorkflowStateBlock& b) { b.stateCode = 0x1E00; }},
      {"UI action 9", [](WorkflowStateBlock& b) { b.uiAction = 9; }},
      {"UI action -1", [](WorkflowStateBlock& b) { b.uiAction = -1; }},
      {"UI flags 7", [](WorkflowStateBlock& b) { b.uiFlags = 7; }},
      {"UI flags -1", [](WorkflowStateBlock& b) { b.uiFlags = -1; }},
      {"retry mode 3", [](WorkflowStateBlock& b) { b.retryMode = 3; }},
      {"quit confirmed 2", [](WorkflowStateBlock& b) { b.quitConfirmed = 2; }},
      {"close override 255", [](WorkflowStateBlock& b) { b.closeOverride = 255; }},
      {"progress NaN", [](WorkflowStateBlock& b) { b.tarnProgress = std::nanf(""); }},
      {"progress infinite", [](WorkflowStateBlock& b) { b.tarnProgress = INFINITY; }},
      {"progress over 100", [](WorkflowStateBlock& b) { b.tarnProgress = 100.5f; }},
      {"progress below 0", [](WorkflowStateBlock& b) { b.tarnProgress = -1.0f; }},
      {"screen 11", [](WorkflowStateBlock& b) { b.screenId = 11; }},
      {"screen -1", [](WorkflowStateBlock& b) { b.screenId = -1; }},
  };
  std::vector<std::pair<std::string, std::string>> states;  // name, text
  for (const auto& [name, change] : stateRows) {
    WorkflowStateBlock block = kBlock;
    change(block);
    states.emplace_back(name, encodeStateBlock(block));
  }
  const std::string golden = kGoldenBlock;
  std::string urlAlphabet = golden;
  std::replace(urlAlphabet.begin(), urlAlphabet.end(), '/', '_');
  states.emplace_back("line break", golden.substr(0, 20) + "\n" + golden.substr(20));
  states.emplace_back("blank", " " + golden);
  states.emplace_back("URL alphabet", urlAlphabet);
  states.emplace_back("no padding", golden.substr(0, golden.size() - 2));

  const std::pair<const char*, ProgressEstimateBlock> estimateRows[] = {
      {"minutes min below 0", {-1, 7, 42}},
      {"minutes max below 0", {3, -7, 42}},
      {"progress below 0", {3, 7, -1}},
      {"progress over 100", {3, 7, 101}},
  };
  std::vector<std::pair<std::string, std::string>> estimates;
  for (const auto& [name, estimate] : estimateRows) {
    estimates.emplace_back(name, encodeProgressEstimate(estimate));
  }
  estimates.emplace_back("punctuation", std::string(kGoldenEstimate) + "\r\n");

  CapturingLogger logger;
  setApplicationLogger(&logger);
  WorkflowRig rig(WorkflowRole::kSilent);
  rig.workflow->setStateCode(WorkflowState::kAcquireLocks);
  rig.workflow->syncState();
  const WorkflowStateBlock before = rig.workflow->stateBlock();
  for (const auto& [name, text] : states) {
    SCOPED_TRACE(name);
    logger.clear();
    EXPECT_TRUE(rig.workflow->onProgressStatePacket(text));
    EXPECT_EQ(rig.workflow->stateBlock().toBytes(), before.toBytes());
    EXPECT_EQ(logger.records().size(), 1u);
  }
  for (const auto& [name, text] : estimates) {
    SCOPED_TRACE(name);
    logger.clear();
    EXPECT_TRUE(rig.workflow->onProductProgressStatePacket(text));
    EXPECT_EQ(rig.workflow->progressEstimate(), ProgressEstimateBlock{});
    EXPECT_EQ(logger.records().size(), 1u);
  }
  setApplicationLogger(nullptr);
  // The edges of each range are taken.
  for (const WorkflowStateBlock& good :
       {WorkflowStateBlock{code(WorkflowState::kFinal), 0, 0, 0, 0, 0, 0, 0.0f, 0},
        WorkflowStateBlock{code(WorkflowState::kAcquireLocks), 8, 6, 215, 2, 1, 1, 100.0f, 10}}) {
    EXPECT_TRUE(rig.workflow->onProgressStatePacket(encodeStateBlock(good)));
    EXPECT_EQ(rig.workflow->stateBlock().toBytes(), good.toBytes());
  }
  EXPECT_TRUE(rig.workflow->onProductProgressStatePacket(encodeProgressEstimate({0, 0, 100})));
  EXPECT_EQ(rig.workflow->progressEstimate(), (ProgressEstimateBlock{0, 0, 100}));
}

TEST(WorkflowMirroring, SendsStateOnlyWhenAComparedFieldChanges) {
  InMemoryLink link;
  WorkflowRig rig(WorkflowRole::kUser, &link.end(0));
  rig.workflow->syncState();  // the copy starts zeroed: the first call sends
  rig.workflow->showTarnProgress(40.0f);
  rig.workflow->syncState();  // progress alone: nothing
  ASSERT_EQ(link.carried().size(), 1u);
  rig.workflow->setCloseOverride(true);
  rig.workflow->syncState();
  ASSERT_EQ(link.carried().size(), 2u);
  const auto sent = decodeStateBlock(link.carried().back().text);
  ASSERT_TRUE(sent);
  EXPECT_EQ(sent->closeOverride, 1);
  EXPECT_EQ(sent->tarnProgress, 40.0f);  // the next packet carries the current progress
}

// The other side takes a received block without echoing it; an estimate goes only once changed.
TEST(WorkflowMirroring, ReceivedBlockIsNotEchoedAndEstimatesGoOnlyWhenChanged) {
  InMemoryLink link;
  WorkflowRig user(WorkflowRole::kUser, &link.end(0));
  WorkflowRig silent(WorkflowRole::kSilent, &link.end(1));
  link.attach(0, user.workflow.get());
  link.attach(1, silent.workflow.get());
  user.workflow->syncProgressEstimate();  // all zero, like the copy
  EXPECT_TRUE(link.carried().empty());
  user.workflow->setStateCode(WorkflowState::kApplicationsDocument);
  user.workflow->setScreenId(ScreenId::kMain);
  user.workflow->syncState();
  EXPECT_EQ(silent.workflow->stateCode(), WorkflowState::kApplicationsDocument);
  EXPECT_EQ(silent.workflow->stateBlock().screenId, code(ScreenId::kMain));
  silent.workflow->syncState();
  EXPECT_EQ(link.carried().size(), 1u);

  user.workflow->setProgressEstimate({3, 7, 42});
  user.workflow->syncProgressEstimate();
  user.workflow->syncProgressEstimate();
  ASSERT_EQ(link.carried().size(), 2u);
  EXPECT_EQ(link.carried()[1].type, IMessageGateway::kProgressEstimatePacket);
  EXPECT_EQ(link.carried()[1].text, kGoldenEstimate);
  EXPECT_EQ(silent.workflow->progressEstimate(), (ProgressEstimateBlock{3, 7, 42}));
}

TEST(WorkflowMirroring, ProgressIsShownOnceAndNeverLowered) {
  WorkflowRig rig(WorkflowRole::kAdministrator);
  for (float progress : {2.0f, 2.0f, 5.0f, 2.0f, 100.0f}) rig.workflow->showTarnProgress(progress);
  std::vector<std::string> shown;
  for (const auto& call : rig.view.calls()) {
    if (call.name == "updateTarnProgress") shown.push_back(call.args[0] + "," + call.args[1]);
  }
  EXPECT_EQ(shown, (std::vector<std::string>{"2,true", "5,true", "100,true"}));
}

// A gateway whose first send stalls for a while, so that a second thread's sync can overtake it.
class StallingGateway final : public IMessageGateway {
 public:
  bool InitMessageGateway(const CommandLineParser&) override { return true; }
  void WaitForGatewayThread() override {}
  int sendPacket(int, const std::string& text) override {
    if (!entered_.exchange(true)) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::lock_guard lock(mutex_);
    texts_.push_back(text);
    return 0;
  }
  LinkState linkState() const override { return LinkState::kConnected; }
  bool entered() const { return entered_; }
  std::vector<std::string> texts() const {
    std::lock_guard lock(mutex_);
    return texts_;
  }

 private:
  std::atomic<bool> entered_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> texts_;
};

// Two threads sync one after the other while the first one's send is still on its way: the peer
// must end with the newer block, since neither sender sends it again.
TEST(WorkflowMirroring, ThePeerEndsWithTheNewestBlock) {
  struct Row {
    const char* name;
    std::function<void(WorkflowManager&, int)> change;
    std::function<void(WorkflowManager&)> sync;
    std::function<std::string(int)> text;
  } rows[] = {
      {"state", [](WorkflowManager& w, int v) { w.setUIFlags(static_cast<UIFlag>(v)); },
       [](WorkflowManager& w) { w.syncState(); },
       [](int v) {
         WorkflowStateBlock block;
         block.uiFlags = v;
         return encodeStateBlock(block);
       }},
      {"estimate",
       [](WorkflowManager& w, int v) {
         w.setProgressEstimate({v, v, v});
       },
       [](WorkflowManager& w) { w.syncProgressEstimate(); },
       [](int v) {
         return encodeProgressEstimate({v, v, v});
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    StallingGateway gateway;
    WorkflowRig rig(WorkflowRole::kUser, &gateway);
    row.change(*rig.workflow, 1);
    std::thread first([&] { row.sync(*rig.workflow); });
    while (!gateway.entered()) std::this_thread::yield();
    row.change(*rig.workflow, 2);
    row.sync(*rig.workflow);
    first.join();
    ASSERT_EQ(gateway.texts().size(), 2u);
    EXPECT_EQ(gateway.texts().back(), row.text(2));
  }
}

}  // namespace
