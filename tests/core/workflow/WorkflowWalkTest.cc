#include <gtest/gtest.h>

#include <thread>

#include "tests/core/workflow/support/InMemoryLink.h"
#include "tests/core/workflow/support/WorkflowRig.h"
#include "tests/support/WaitUntil.h"

namespace {

using wendtest::InMemoryLink;
using wendtest::waitUntil;
using wendtest::WorkflowRig;
using States = std::vector<uint32_t>;
using LinkState = IMessageGateway::LinkState;

// What the install thread and the product-install callback do when their work is done.
void finishThreads(WorkflowManager& workflow) {
  if (workflow.stateCode() == 0x1606) workflow.setStateCode(0x1702);
  if (workflow.stateCode() == 0x1A05) workflow.setStateCode(0x1B01);
}

// Steps a workflow on the test's thread until it ends; the states it went through.
States walkAlone(WorkflowRig& rig, int maxSteps = 400) {
  States states{rig.workflow->stateCode()};
  const auto note = [&] {
    if (states.back() != rig.workflow->stateCode()) states.push_back(rig.workflow->stateCode());
  };
  for (int i = 0; i < maxSteps && !rig.quitRequested; ++i) {
    rig.workflow->runStep();
    note();
    rig.view.deliverAnswers();
    note();
    finishThreads(*rig.workflow);
    note();
  }
  return states;
}

TEST(WorkflowWalk, AdministratorRunsEveryStateInOrderAndSendsNothing) {
  WorkflowRig rig(WorkflowRole::kAdministrator);
  rig.config.set("checkForCompatibility", "true");
  rig.survey.status = 0;
  rig.choices->accepted = false;
  rig.view.answerAsPage();
  rig.workflow->setStateCode(0x101);
  EXPECT_EQ(walkAlone(rig),
            (States{0x101,  0x201,  0x301,  0x401,  0x501,  0x601,  0x705,  0x801,  0x905,
                    0xB01,  0xC01,  0xD05,  0xE01,  0xF01,  0x1005, 0x1101, 0x1201, 0x1302,
                    0x1402, 0x1502, 0x1606, 0x1702, 0x1801, 0x1901, 0x1A05, 0x1B01, 0x1D00}));
  EXPECT_TRUE(rig.ownGateway.sent.empty());
  EXPECT_EQ(rig.view.last("updateTarnInstallWeightage").args,
            std::vector<std::string>{"123456789"});
  EXPECT_EQ(rig.view.count("updateTarnProgress"), 3);  // 2, 5 and 100
  EXPECT_EQ(rig.view.names().back(), "terminateApplication");
  EXPECT_EQ(rig.helper->calls(),
            (std::vector<std::string>{"launch helper-pipe-1", "launch helper-pipe-2",
                                      "handshake helper-pipe-2"}));
}

TEST(WorkflowWalk, TestWorkflowStopsAtTheMainScreen) {
  WorkflowRig rig(WorkflowRole::kAdministrator, nullptr, /*testWorkflow=*/true);
  rig.view.answerAsPage();
  rig.view.answer("showPiiScreen", 0, {});
  ASSERT_TRUE(rig.workflow->StartWorkflow());
  EXPECT_TRUE(waitUntil([&] {
    rig.view.deliverAnswers();
    return rig.view.count("updateProductProgress") == 1;
  }));
  rig.workflow->StopWorkflow();
  EXPECT_EQ(rig.workflow->stateCode(), 0x1005u);
  EXPECT_EQ(rig.view.last("showWelcomeScreen").args, std::vector<std::string>{""});
  EXPECT_EQ(rig.view.last("updateProductProgress").args, std::vector<std::string>{"100"});
  EXPECT_EQ(rig.desktopApp->downloads, 0);
}

TEST(WorkflowWalk, ProxyLoginRunsTheNetworkCheckAgain) {
  WorkflowRig rig(WorkflowRole::kUser);
  rig.profile.networkResult = 2;
  rig.workflow->setStateCode(0x401);
  rig.workflow->runStep();
  EXPECT_EQ(rig.view.count("showProxyAlert"), 1);
  rig.workflow->runStep();  // blocked behind the alert
  EXPECT_EQ(rig.profile.networkChecks, 1);

  rig.profile.networkResult = 0;
  rig.proxy.set({"ann", "secret", false});
  rig.workflow->setCurrentUIAction(1);  // "proxyAlertLoginButtonClicked"
  rig.workflow->runStep();
  EXPECT_EQ(rig.profile.networkChecks, 2);
  EXPECT_EQ(rig.workflow->stateCode(), 0x601u);
  EXPECT_EQ(rig.view.last("setProxyCredentials").args, (std::vector<std::string>{"ann", "secret"}));
}

TEST(WorkflowWalk, NetworkDownShowsP206UntilARetrySucceeds) {
  WorkflowRig rig(WorkflowRole::kUser);
  rig.profile.networkResult = 1;
  rig.workflow->setStateCode(0x401);
  rig.workflow->runStep();
  EXPECT_EQ(rig.view.last("showErrorAlert").args[2], "P206");
  EXPECT_EQ(rig.workflow->stateCode(), 0x401u);
  rig.workflow->setCurrentUIAction(3);
  rig.workflow->runStep();  // still down: the alert again
  EXPECT_EQ(rig.view.count("showErrorAlert"), 2);
  rig.profile.networkResult = 0;
  rig.workflow->setCurrentUIAction(3);
  rig.workflow->runStep();
  EXPECT_EQ(rig.workflow->stateCode(), 0x601u);
}

TEST(WorkflowWalk, SilentProcessStartedLateKeepsTheStateItReceived) {
  WorkflowRig silent(WorkflowRole::kSilent);
  silent.workflow->onProgressStatePacket(encodeStateBlock(WorkflowStateBlock{0x1302}));
  ASSERT_TRUE(silent.workflow->StartWorkflow());
  EXPECT_TRUE(waitUntil([&] { return silent.desktopApp->downloads > 0; }));
}

TEST(WorkflowWalk, ApplicationsDocumentFailures) {
  WorkflowRig rig(WorkflowRole::kSilent);
  rig.desktopApp->downloadWorks = false;
  rig.workflow->setStateCode(0x1302);
  rig.workflow->runStep();
  EXPECT_EQ(rig.workflow->stateCode(), 0x1302u);
  EXPECT_EQ(rig.view.count("updateTarnProgress"), 0);
  rig.desktopApp->downloadWorks = true;
  rig.desktopApp->readWorks = false;
  rig.workflow->runStep();
  EXPECT_EQ(rig.workflow->stateCode(), 0x1402u);
  EXPECT_EQ(rig.view.last("showErrorAlert").args[2], "P48");
}

// The user's process without its elevated copy: the link drops while the copy works.
TEST(WorkflowWalk, DeadLinkRaisesErrorOneAndQuitEndsLocally) {
  for (int run = 0; run < 50; ++run) {
    SCOPED_TRACE(run);
    InMemoryLink link;
    WorkflowRig user(WorkflowRole::kUser, &link.end(0));
    link.attach(0, user.workflow.get());
    ASSERT_TRUE(user.workflow->StartWorkflow());
    user.workflow->onProgressStatePacket(encodeStateBlock(WorkflowStateBlock{0x1402}));
    link.drop();
    ASSERT_TRUE(waitUntil([&] { return user.view.count("showErrorAlert") == 1; }));
    EXPECT_EQ(user.view.last("showErrorAlert").args[2], "P1");
    EXPECT_EQ(user.view.last("showErrorAlert").args[1], "0");
    user.workflow->setCurrentUIAction(4);
    ASSERT_TRUE(waitUntil([&] { return user.quitRequested.load(); }));
    EXPECT_EQ(user.workflow->stateCode(), 0x1D00u);
    EXPECT_EQ(user.workflow->stateBlock().errorCode, 1);
    EXPECT_EQ(user.view.count("showQuitConfirmation"), 0);
  }
}

// The elevated copy links late: the first screen and the main screen wait for it.
TEST(WorkflowWalk, LateLinkIsWaitedFor) {
  for (int run = 0; run < 50; ++run) {
    SCOPED_TRACE(run);
    InMemoryLink link;
    link.setState(LinkState::kLinking);
    WorkflowRig user(WorkflowRole::kUser, &link.end(0));
    link.attach(0, user.workflow.get());
    user.view.answerAsPage();
    ASSERT_TRUE(user.workflow->StartWorkflow());
    ASSERT_TRUE(waitUntil([&] { return user.workflow->stateCode() == 0x601; }));
    std::thread linker([&] { link.setState(LinkState::kConnected); });
    ASSERT_TRUE(waitUntil([&] {
      user.view.deliverAnswers();
      return user.workflow->stateCode() == 0x1302;
    }));
    linker.join();
    user.workflow->StopWorkflow();
    EXPECT_EQ(user.view.count("showErrorAlert"), 0);
    EXPECT_EQ(user.view.count("showMainScreen"), 1);
  }
}

TEST(WorkflowWalk, MainScreenWaitsWhileLinkingAndFailsOnceLinkingFailed) {
  InMemoryLink link;
  link.setState(LinkState::kLinking);
  WorkflowRig user(WorkflowRole::kUser, &link.end(0));
  user.workflow->setStateCode(0x1201);
  for (int i = 0; i < 3; ++i) user.workflow->runStep();
  EXPECT_TRUE(user.view.calls().empty());
  link.setState(LinkState::kDown);
  user.workflow->runStep();
  EXPECT_EQ(user.view.last("showErrorAlert").args[2], "P1");
  EXPECT_EQ(user.workflow->stateCode(), 0x1201u);
}

TEST(WorkflowThreads, StartTwiceStartsOneThreadAndStopJoinsAWaitingOne) {
  WorkflowRig rig(WorkflowRole::kUser);
  WorkflowSettings slow = WorkflowRig::fastSettings();
  rig.workflow->setStateCode(0);
  EXPECT_TRUE(rig.workflow->StartWorkflow());
  EXPECT_TRUE(rig.workflow->StartWorkflow());
  ASSERT_TRUE(waitUntil([&] { return rig.workflow->stateCode() == 0x705; }));
  EXPECT_EQ(rig.view.count("showWelcomeScreen"), 1);
  // A workflow waiting a whole hour per tick still ends at once when it is destroyed.
  std::atomic<bool> quit{false};
  ConfigStore config;
  SharedProxyCredentials proxy;
  std::string required;
  slow.tick = std::chrono::hours(1);
  auto waiting = std::make_unique<WorkflowManager>(
      WorkflowContext{quit, config, proxy, required, false, "", ""},
      WorkflowCollaborators{rig.view, rig.ownGateway, rig.profile, rig.survey, rig.applets, nullptr,
                            std::make_unique<wendtest::ScriptedInstallHelper>(), WorkflowSteps{}},
      WorkflowRole::kUser, slow);
  ASSERT_TRUE(waiting->StartWorkflow());
  waiting.reset();
  EXPECT_EQ(rig.workflow->stateCode(), 0x705u);
}

// A whole installation by a user and a silent process, while the view, the link and the
// callbacks write from threads of their own.
TEST(WorkflowThreads, WritersOnEveryThreadAtOnce) {
  InMemoryLink link;
  WorkflowRig user(WorkflowRole::kUser, &link.end(0));
  WorkflowRig silent(WorkflowRole::kSilent, &link.end(1));
  link.attach(0, user.workflow.get(), &user.proxy);
  link.attach(1, silent.workflow.get(), &silent.proxy);
  user.view.answerAsPage();
  ASSERT_TRUE(silent.workflow->StartWorkflow());
  ASSERT_TRUE(user.workflow->StartWorkflow());
  std::atomic<bool> done{false};
  std::thread page([&] {
    for (int i = 0; !done; ++i) {
      user.workflow->setProgressEstimate({i, i + 1, i % 100});
      user.workflow->syncProgressEstimate();
      user.workflow->setScreenId(9);
      user.workflow->setCloseOverride(i % 2);
    }
  });
  std::thread callback([&] {
    for (int i = 0; !done; ++i) {
      silent.workflow->showTarnProgress(static_cast<float>(i % 100));
      silent.workflow->setUIFlags(i % 2 ? 1 : 6);
      silent.proxy.set({"u" + std::to_string(i), "p", false});
    }
  });
  EXPECT_TRUE(waitUntil([&] {
    user.view.deliverAnswers();
    finishThreads(*silent.workflow);
    finishThreads(*user.workflow);
    return user.quitRequested && silent.quitRequested;
  }));
  done = true;
  page.join();
  callback.join();
  // The user's process handed over with 0x1302, the elevated one back with 0x1801 and ended
  // without sending its 0x1D00.
  const States fromUser = link.statesSentBy(0);
  const States fromSilent = link.statesSentBy(1);
  EXPECT_NE(std::find(fromUser.begin(), fromUser.end(), 0x1302u), fromUser.end());
  EXPECT_NE(std::find(fromSilent.begin(), fromSilent.end(), 0x1801u), fromSilent.end());
  EXPECT_EQ(std::find(fromSilent.begin(), fromSilent.end(), 0x1D00u), fromSilent.end());
  EXPECT_EQ(silent.workflow->stateCode(), 0x1D00u);
  EXPECT_EQ(user.workflow->stateCode(), 0x1D00u);
  EXPECT_EQ(silent.desktopApp->downloads, 1);
  EXPECT_EQ(user.desktopApp->downloads, 0);
  EXPECT_EQ(user.view.count("showLaunchingProductScreen"), 1);
  EXPECT_EQ(user.view.count("showErrorAlert") + silent.view.count("showErrorAlert"), 0);
}

}  // namespace
