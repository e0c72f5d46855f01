#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "core/config/ConfigValues.h"
#include "foundation/logging/LogCallback.h"
#include "foundation/xml/XMLParser.h"
#include "tests/core/context/support/ContextFixture.h"
#include "tests/support/FileState.h"

namespace {

using wendtest::ContextTest;

constexpr char kStartBanner[] =
    "*********************** Workflow start. Version: 4.1.1.207 **************************";
constexpr char kEndBanner[] =
    "*********************** Workflow end. Version: 4.1.1.207 **************************";

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(ContextTest, AConfigurationThatDoesNotLoadStopsInitialisation) {
  writeConfig("<config><sapCode>");
  EXPECT_FALSE(initialize({"--environment=qe", "--workflowId=w1"}));
  ApplicationContext* context = ApplicationContext::GetInstance();
  EXPECT_EQ(context->workflowId, "w1") << "the command line is read before the configuration";
  EXPECT_TRUE(record_->empty());
  EXPECT_EQ(GetConfigValue(context->config, "environment"), "");
  ApplicationContext::Destroy();
  EXPECT_TRUE(contains(logText(), "Failed to initialize config xml."));
}

TEST_F(ContextTest, CommandLineEnvironmentWinsAndReachesTheProfile) {
  writeConfig("<config><environment>stage</environment></config>");
  ASSERT_TRUE(initialize(
      {"--environment=qe", "--locale=ja_JP", "--pipename=p", "--lbsInstallerWorkflowID=l1"}));
  ApplicationContext* context = ApplicationContext::GetInstance();
  EXPECT_EQ(GetEnvironment(context->config), "QE");
  EXPECT_EQ(*record_, std::vector<std::string>{"QE"});
  EXPECT_EQ(context->locale, "ja_JP");
  EXPECT_TRUE(context->isSilent);
  EXPECT_EQ(context->lbsInstallerWorkflowID, "l1");
  EXPECT_FALSE(context->isTestWorkflow);
}

TEST_F(ContextTest, WithoutACommandLineLocaleThePreferredOneIsTaken) {
  wendtest::ScopedEnv language("LANGUAGE", "pt-PT");
  ASSERT_TRUE(initialize({}));
  EXPECT_EQ(ApplicationContext::GetInstance()->locale, "pt_BR");
  EXPECT_FALSE(ApplicationContext::GetInstance()->isSilent);
  EXPECT_EQ(*record_, std::vector<std::string>{""});
}

TEST_F(ContextTest, CapsMarkerIsMadeThenTouchedAsRoot) {
  if (geteuid() != 0) GTEST_SKIP() << "the marker is for administrator runs";
  const std::string marker = root_ / "var/lib/Orvel/caps/caps.db";
  ASSERT_TRUE(initialize({}));
  ApplicationContext::Destroy();
  ASSERT_TRUE(wendtest::existsNoFollow(marker));
  EXPECT_EQ(wendtest::readFile(marker), "");

  const timespec old[2] = {{1000, 0}, {1000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, marker.c_str(), old, 0), 0);
  ASSERT_TRUE(initialize({}));
  struct stat info;
  ASSERT_EQ(stat(marker.c_str(), &info), 0);
  EXPECT_GT(info.st_mtim.tv_sec, 1000);
}

TEST_F(ContextTest, OnePrivateTemporaryFolderPerRunRemovedAtTeardown) {
  const std::string first = ApplicationContext::GetTempLocation();
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first.rfind(root_ / "tmp/", 0), 0u) << first;
  EXPECT_EQ(ApplicationContext::GetTempLocation(), first);
  struct stat info;
  ASSERT_EQ(lstat(first.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0700u);
  wendtest::writeFile(first + "/inside", "x");
  ApplicationContext::Destroy();
  EXPECT_FALSE(wendtest::existsNoFollow(first));

  create();
  const std::string second = ApplicationContext::GetTempLocation();
  EXPECT_NE(second, first);
}

// A killed run leaves its temporary folder behind. The next run's folder request removes the
// ones that are provably such leftovers: UUID-named folders of the running user with a lock file
// that no live run holds. A held one, one without a lock file, another user's and a link stay;
// the new folder itself is held for the whole run.
TEST_F(ContextTest, TheTemporaryFolderRequestRemovesThoseKilledRunsLeft) {
  const std::string temp = root_ / "tmp";
  auto leftover = [&](const std::string& name, bool lockFile) {
    const std::string folder = temp + "/" + name;
    mkdir(folder.c_str(), 0700);
    wendtest::writeFile(folder + "/LoomLBS", "left");
    if (lockFile) wendtest::writeFile(folder + "/.operation.lock", "");
    return folder;
  };
  const std::string killed = leftover("0F0F0F0F-0000-4000-8000-000000000001", true);
  const std::string held = leftover("0F0F0F0F-0000-4000-8000-000000000002", true);
  const std::string unlocked = leftover("0F0F0F0F-0000-4000-8000-000000000003", false);
  const std::string foreign = leftover("0F0F0F0F-0000-4000-8000-000000000004", true);
  const std::string link = temp + "/0F0F0F0F-0000-4000-8000-000000000005";
  const std::string linked = leftover("linked", true);
  ASSERT_EQ(symlink(linked.c_str(), link.c_str()), 0);
  const bool otherUser = geteuid() == 0 && chown(foreign.c_str(), wendtest::otherUser(), 0) == 0;
  const int live = open((held + "/.operation.lock").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_EQ(flock(live, LOCK_EX | LOCK_NB), 0);

  create();
  const std::string mine = ApplicationContext::GetTempLocation();
  close(live);
  ASSERT_FALSE(mine.empty());
  EXPECT_FALSE(wendtest::existsNoFollow(killed));
  for (const std::string& kept : {held, unlocked, linked}) {
    EXPECT_EQ(wendtest::readFile(kept + "/LoomLBS"), "left") << kept;
  }
  if (otherUser) {
    EXPECT_EQ(wendtest::readFile(foreign + "/LoomLBS"), "left");
  }
  EXPECT_EQ(wendtest::fileState(link).target, linked);
  const int ours = open((mine + "/.operation.lock").c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
  EXPECT_GE(ours, 0) << "the run's folder has a lock file";
  EXPECT_NE(flock(ours, LOCK_EX | LOCK_NB), 0) << "which the run holds";
  if (ours >= 0) close(ours);
}

TEST_F(ContextTest, AFailedTemporaryFolderIsNotRecorded) {
  // A file where the temporary-files folder belongs: the folder can be neither found nor made.
  rmdir((root_ / "tmp").c_str());
  std::ofstream(root_ / "tmp").put('x');
  create();
  EXPECT_EQ(ApplicationContext::GetTempLocation(), "");
  unlink((root_ / "tmp").c_str());
  mkdir((root_ / "tmp").c_str(), 0777);
  const std::string later = ApplicationContext::GetTempLocation();
  EXPECT_FALSE(later.empty());
  ApplicationContext::Destroy();
  EXPECT_FALSE(wendtest::existsNoFollow(later));
  EXPECT_TRUE(contains(logText(), "Failed to created directory in temp."));
}

TEST_F(ContextTest, AnalyticsGoFirstAndStayGoneUntilANewContext) {
  EXPECT_EQ(ApplicationContext::GetAnalytics(), nullptr);
  create();
  std::shared_ptr<IAnalytics> held = ApplicationContext::GetAnalytics();
  ASSERT_NE(held, nullptr);
  ApplicationContext::Destroy();
  EXPECT_EQ(ApplicationContext::GetAnalytics(), nullptr);
  EXPECT_EQ(held.use_count(), 1) << "a holder keeps its object after the teardown";
  create();
  EXPECT_NE(ApplicationContext::GetAnalytics(), nullptr);
}

// A second Destroy does nothing, and a run that never asked for a temporary folder removes none.
TEST_F(ContextTest, DestroyTwiceRemovesNothing) {
  mkdir((root_ / "tmp/other").c_str(), 0700);
  create();
  ApplicationContext::Destroy();
  ApplicationContext::Destroy();
  EXPECT_NE(ApplicationContext::GetInstance(), nullptr);
  EXPECT_TRUE(wendtest::isFolder(root_ / "tmp/other"));
}

TEST_F(ContextTest, LogBetweenTheBannersOnly) {
  LogCallback(pando::kLogError, kBootstrapperModule, "Test", "", "", "before the context");
  ASSERT_TRUE(initialize({}));
  LogCallback(pando::kLogError, kBootstrapperModule, "Test", "", "", "while it lives");
  XMLParser parser;  // no logger of its own: it logs through the utilities' default
  EXPECT_FALSE(parser.initWithXMLPath(root_ / "missing.xml"));
  ApplicationContext::Destroy();
  LogCallback(pando::kLogError, kBootstrapperModule, "Test", "", "", "after the teardown");
  const std::string text = logText();
  const size_t during = text.find("while it lives");
  EXPECT_LT(text.find(kStartBanner), during);
  EXPECT_LT(during, text.find(kEndBanner)) << "all three are there, in order";
  EXPECT_NE(text.find(kEndBanner), std::string::npos);
  EXPECT_TRUE(contains(text, "ApplicationContext initialized successfully."));
  EXPECT_FALSE(contains(text, "before the context"));
  EXPECT_FALSE(contains(text, "after the teardown"));
  EXPECT_TRUE(contains(text, "| PandoUtils | XMLParser |"));
}

// The test product, in any case, makes an administrator test run: the context's workflow starts
// at the first screen on one thread, however often it is started, and the teardown joins it.
TEST_F(ContextTest, WorkflowStartsOnceWithTheViewMediatorAndEndsWithTheContext) {
  writeConfig("<config><sapCode>tEsT</sapCode></config>");
  ASSERT_TRUE(initialize({}));
  ApplicationContext* context = ApplicationContext::GetInstance();
  EXPECT_TRUE(context->isTestWorkflow);
  EXPECT_FALSE(context->StartWorkflow()) << "no workflow before the view mediator";
  char program[] = "Install";
  char* argv[] = {program};
  ASSERT_TRUE(context->InitMessageGateway(1, argv));
  ASSERT_TRUE(context->workflowManager);
  EXPECT_EQ(context->workflowManager->role(), WorkflowRole::kAdministrator);
  EXPECT_TRUE(context->StartWorkflow());
  EXPECT_TRUE(context->StartWorkflow());
  ApplicationContext::Destroy();
  EXPECT_TRUE(contains(logText(), "StartWorkflow: thread"));
}

}  // namespace
