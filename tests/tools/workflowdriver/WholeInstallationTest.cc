#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <regex>

#include "applets/ProductPlacement.h"
#include "core/install/PiiNoticeState.h"
#include "core/install/TarnInstallationLock.h"
#include "core/workflow/InstallerStatus.h"
#include "core/workflow/WorkflowLocks.h"
#include "foundation/threads/ProcessSemaphore.h"
#include "foundation/threads/SharedSemaphore.h"
#include "services/signin/IdraUserStore.h"
#include "tests/support/PrivateMachine.h"
#include "tests/tools/workflowdriver/support/WholeRun.h"
#include "tools/workflowdriver/WholeInstallation.h"

namespace {

using namespace wendtest;
using namespace std::chrono_literals;

constexpr char kVolume[] = "/media/InstallVol";
constexpr char kLaunchAgent[] = "/var/LaunchAgents/com.orvel.OrvelSkyloom.plist";
constexpr char kProvidersPath[] = "/idra/providers/v1";
// The driver's exit statuses.
constexpr int kInstalled = static_cast<int>(WholeRunExit::kInstalled);
constexpr int kQuitByUser = static_cast<int>(WholeRunExit::kQuitByUser);
constexpr int kEndedAfterAlert = static_cast<int>(WholeRunExit::kEndedAfterAlert);
// A volume the sample product (over 1.5 MiB) cannot fit on.
constexpr uint64_t kProductVolumeBytes = 512 * 1024;

// Whether the driver's output says the run ended (state 0x1D00) with installer status `error`.
bool endedWithError(const std::string& output, int error) {
  return output.find("\nended 0x1D00 error " + std::to_string(error) + " ") != std::string::npos;
}

void writeText(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path) << text;
}

// The bootstrapper, installer-family and desktop-application installation locks, on the product's
// own key ("/tmp", folder choice 0).
bool locksFree() {
  return !pando::ProcessSemaphore::isProcessSemaphoreHeld(kBootstrapperLockId,
                                                          pando::ProcessSemaphore::kKeyPath) &&
         !pando::SharedSemaphore::isSharedSemaphoreHeld(kLbsLockId, 1, 0, "", 0) &&
         !pando::SharedSemaphore::isSharedSemaphoreHeld(kTarnInstallationLockId, 1, 0, "", 0);
}

// What the machine outside the private tree would show of an installation.
std::vector<std::string> outsideTraces() {
  std::vector<std::string> found;
  for (const char* path : {"/opt/Utilities/Orvel Skyloom", "/var/lib/Orvel/Hearth/Core",
                           "/var/LaunchAgents", "/var/lib/Orvel/Products"}) {
    if (fs::exists(path)) found.push_back(path);
  }
  return found;
}

// One private machine: the installer's bundle on a mounted "disk image" under the private root,
// the services on a loopback test server, the desktop application's packages on the package
// service, a signed-in user and an accepted privacy notice. Run by root: an installer started
// by anyone else asks the system's elevation tool for its copy.
class WholeInstallation : public ::testing::Test {
 public:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "the whole installation needs root here";
    ASSERT_TRUE(outsideTraces().empty()) << "a machine-wide installation is already there";
    root_ = top_ / "root";
    fs::create_directories(root_);
    bundle_ = root_ + kVolume + "/Install.app";
    fs::create_directories(bundle_ + "/Contents/MacOS");
    fs::copy_file(WEND_WORKFLOWDRIVER, bundle_ + "/Contents/MacOS/Install");
    writeText(top_ / "mountinfo", readFile("/proc/self/mountinfo") + "4242 1 7:42 / " + root_ +
                                      kVolume + " rw - ext4 /dev/loop42 rw\n");
    writeText(top_ / "hdiutil/mounts", top_ / "Install.dmg\t" + root_ + kVolume + "\n");
    const std::string helpers = root_ + "/var/lib/Orvel/Hearth/ElevationManager";
    fs::create_directories(helpers);
    fs::copy_file(WEND_TEST_INSTALL_HELPER, helpers + "/Orvel Installer");
    writeText(root_ + kLaunchAgent, "<plist/>\n");
    // The utilities folder the application goes into is the machine's, there before any run.
    fs::create_directories(root_ + "/opt/Utilities/Orvel Skyloom");

    testserver::TestServerSettings settings;
    settings.answerPost = true;
    server_ = std::make_unique<testserver::TestServer>(settings);
    ASSERT_TRUE(server_->start());
    server_->addBody(kEventsPath, "{}");
    ASSERT_NE(packages_.port(), 0);
    servePackagesFrom(packages_.base());
    serveApplications("success", packages_.base());
    writeConfig();
    seedUserAndNotice();
  }

  void TearDown() override {
    EXPECT_TRUE(locksFree());
    EXPECT_EQ(outsideTraces(), std::vector<std::string>{});
    removeChannelPipes();
  }

  // The installer keeps its channels' named pipes in /tmp; every channel of these runs passed
  // through the stand-in helpers, whose transcript names it.
  void removeChannelPipes() {
    for (const std::string& pipe : channelPipesNamedIn(readFile(top_ / "helper.log"))) {
      unlink(pipe.c_str());
    }
  }

  void writeConfig() {
    writeText(bundle_ + "/Contents/Resources/config.xml",
              "<config><sapCode>KVRQ</sapCode><productName>Tarn</productName>"
              "<packageServiceUrl>" +
                  server_->url(kApplicationsPath) + "</packageServiceUrl></config>\n");
  }

  // The products document lists the sample product from the package service at `base`.
  void servePackagesFrom(const std::string& base) {
    server_->addBody(kProductsPath, sampleProductsDocument(base));
  }

  // The applications document of the package service, with the stand-in library's scenario and
  // the installer library fetched from `libraryBase`.
  void serveApplications(const std::string& scenario, const std::string& libraryBase) {
    server_->addBody(
        kApplicationsPath,
        applicationsDocument(packages_.www(),
                             "<pimScenario>" + scenario + "</pimScenario><pimTarget>" + root_ +
                                 "/opt/Utilities/Orvel Skyloom/Tarn</pimTarget>",
                             libraryBase));
  }

  void seedUserAndNotice() {
    PrivateRootEnvironment environment(root_);
    ASSERT_TRUE(IdraUserStore::save(
        "SkyloomInstaller_v1_0",
        {"{\"userId\":\"ABC123@IdraID\",\"name\":\"Ann\"}", "access-token", "device-token"}));
    PiiNoticeState().savePiiNoticeShown();
    ASSERT_TRUE(PiiNoticeState().isPiiNoticeAlreadyShown());
  }

  // `wrapper` goes before the driver's own command line (a namespace to run it in).
  std::unique_ptr<DriverChild> start(std::vector<std::string> options = {},
                                     std::vector<std::string> wrapper = {}) {
    EnvironmentChanges changes = privateRootChanges(root_);
    changes["WEND_SERVICE_BASE"] = server_->url("");
    changes["WEND_TIME_SCALE"] = "0.02";
    changes["WEND_MOUNTINFO"] = top_ / "mountinfo";
    changes["WEND_TOOL_HDIUTIL"] = WEND_FAKE_HDIUTIL;
    changes["WEND_FAKE_HDIUTIL_STATE"] = top_ / "hdiutil";
    changes["WEND_TOOL_CODESIGN"] = WEND_CODESIGN_TOOL;
    changes["WEND_CODESIGN_TRUST"] = WEND_CODESIGN_TESTKEYS "/trusted.pem";
    changes["WEND_TOOL_LAUNCHCTL"] = WEND_FAKE_LAUNCHCTL;
    changes["WEND_TOOL_SUDO"] = WEND_FAKE_LAUNCHCTL;
    changes["WEND_FAKE_LAUNCHCTL_LOG"] = top_ / "launchctl.log";
    changes["WEND_TOOL_URL_OPENER"] = WEND_FAKE_URL_OPENER;
    changes["TEST_HELPER_TRANSCRIPT"] = top_ / "helper.log";
    options.insert(options.begin(), {bundle_ + "/Contents/MacOS/Install", "--whole"});
    options.insert(options.begin(), wrapper.begin(), wrapper.end());
    return std::make_unique<DriverChild>(options, childEnvironment(changes),
                                         top_ / ("run" + std::to_string(++runs_) + ".out"));
  }

  // A whole run to its end; the exit status.
  int run(std::vector<std::string> options = {}) {
    auto child = start(std::move(options));
    const int status = child->wait();
    lastOutput_ = child->output();
    return status;
  }

  std::string desktopApp() const { return root_ + kDesktopApp; }
  std::vector<std::string> appArguments() const {
    return lines(readFile(desktopApp() + "/Contents/MacOS/argv.txt"));
  }
  // The events the analytics service received, in the order they arrived.
  std::vector<std::string> eventsReceived(const std::vector<std::string>& names) const {
    std::string bodies;
    for (const auto& request : server_->requestsFor(kEventsPath)) bodies += request.body();
    std::vector<std::pair<size_t, std::string>> found;
    for (const std::string& name : names) {
      const size_t at = bodies.find(">" + name + "<");
      if (at != std::string::npos) found.emplace_back(at, name);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> out;
    for (const auto& entry : found) out.push_back(entry.second);
    return out;
  }
  // An application an earlier run installed: the stand-in, recording how it was started.
  void installEarlierApp() {
    const std::string tool = desktopApp() + "/Contents/MacOS/Skyloom";
    writeText(tool, "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > \"$(dirname \"$0\")/argv.txt\"\n");
    fs::permissions(tool, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read |
                              fs::perms::group_exec | fs::perms::others_exec);
  }
  bool earlierAppStarts() const {
    fs::remove(desktopApp() + "/Contents/MacOS/argv.txt");
    return runProgram({desktopApp() + "/Contents/MacOS/Skyloom", "--check"}) &&
           appArguments().size() == 2;
  }

  TemporaryFolder top_;
  std::string root_;
  std::string bundle_;
  CuttablePackageService packages_{WEND_TEST_PIM_FOLDER "/OrvelPIM.dylib"};
  std::unique_ptr<testserver::TestServer> server_;
  std::string lastOutput_;
  int runs_ = 0;
};

bool isUpperUuid(const std::string& text) {
  return std::regex_match(text, std::regex("[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}"));
}

TEST_F(WholeInstallation, InstallsLaunchesUnmountsAndASecondRunCompletes) {
  auto first = start();
  // The driver's last line comes while it still runs, its temporary copy already started.
  ASSERT_TRUE(within(120s, [&] { return first->output().find("\nended ") != std::string::npos; }))
      << first->output();
  EXPECT_EQ(readFile(top_ / "hdiutil/calls").find("detach"), std::string::npos)
      << "detached before the driver ended";
  ASSERT_EQ(first->wait(), kInstalled) << first->output();
  lastOutput_ = first->output();
  EXPECT_NE(lastOutput_.find("state 0x101\n"), std::string::npos);
  EXPECT_NE(lastOutput_.find("ended 0x1D00 error 0"), std::string::npos) << lastOutput_;
  EXPECT_EQ(lastOutput_.find("alert"), std::string::npos) << lastOutput_;

  // The stand-in application, started by the workflow with exactly its four arguments.
  const std::vector<std::string> arguments = appArguments();
  ASSERT_EQ(arguments.size(), 5u) << lastOutput_;
  EXPECT_EQ(arguments[1], "--showwindow=false");
  ASSERT_EQ(arguments[2].rfind("--helperBridgeName=", 0), 0u);
  const std::string bridge = arguments[2].substr(19);
  EXPECT_TRUE(isUpperUuid(bridge)) << bridge;
  EXPECT_NE(readFile(top_ / "helper.log").find("\"pipeName\":\"" + bridge + "\""),
            std::string::npos)
      << "the second helper was not handed the application's bridge name";
  EXPECT_EQ(arguments[3].rfind("--lbsWorkflowID=", 0), 0u);
  EXPECT_EQ(arguments[4].rfind("--lbsInstallerWorkflowID=", 0), 0u);

  // The product, from the package service through the applet host.
  EXPECT_NE(installedSampleProduct(root_), "");

  // The launch agent through sudo for the console user.
  const std::vector<std::string> launchctl = lines(readFile(top_ / "launchctl.log"));
  const std::vector<std::string> expected = {"-u",
                                             "root",
                                             WEND_FAKE_LAUNCHCTL,
                                             "load",
                                             "-wF",
                                             root_ +
                                                 "/var/lib/../LaunchAgents/"
                                                 "com.orvel.OrvelSkyloom.plist",
                                             "--end--"};
  EXPECT_EQ(launchctl, expected);

  // The temporary copy waits for the driver to end, then detaches the volume it ran from.
  EXPECT_TRUE(within(10s, [&] {
    return readFile(top_ / "hdiutil/calls").find("detach\t" + root_ + kVolume) != std::string::npos;
  })) << readFile(top_ / "hdiutil/calls");
  EXPECT_TRUE(within(10s, [&] {
    for (const auto& entry : fs::directory_iterator(root_ + "/tmp")) {
      if (fs::exists(entry.path() / "Install.app")) return false;
    }
    return true;
  })) << "the temporary copy stayed";

  const std::vector<std::string> order = {"lbs-already-signed-in", "lbs-survey-skipped",
                                          "lbs-pii-already-accepted", "lbs-product-launch"};
  EXPECT_TRUE(within(5s, [&] { return eventsReceived(order) == order; }))
      << testing::PrintToString(eventsReceived(order));
  EXPECT_TRUE(locksFree());

  fs::remove(desktopApp() + "/Contents/MacOS/argv.txt");
  ASSERT_EQ(run(), kInstalled) << lastOutput_;
  EXPECT_EQ(appArguments().size(), 5u);
}

// A fault at one state: the run ends at a clear alert (or, for the network, the retry succeeds),
// no lock stays held, and the application an earlier run installed still starts.
struct FaultRow {
  const char* name;
  std::function<void(WholeInstallation&, CuttablePackageService&)> arrange;
  std::vector<std::string> options;
  int exit;
  const char* alert;  // the code the alert shows; nullptr: none
  int error;          // the workflow's error at its end
  // What brings the network back once the alert is up.
  std::function<void(WholeInstallation&, CuttablePackageService&)> restore;
  const char* library = "OrvelPIM.dylib";  // the library the second package service offers
  bool quitsWithinASecond = false;
};

testserver::Rule ruleFor(const std::string& path, testserver::FaultKind kind) {
  testserver::Rule rule;
  rule.path = path;
  rule.fault.kind = kind;
  return rule;
}

// Nobody answers at the path: the connection closes before a reply, as with no server there.
void cutOff(WholeInstallation& rig, const char* path) {
  rig.server_->addRule(ruleFor(path, testserver::FaultKind::CloseBeforeReply));
}

void networkBack(WholeInstallation& rig, CuttablePackageService&) {
  rig.server_->clearRules();
}

void serviceBack(WholeInstallation&, CuttablePackageService& cut) {
  cut.restart();
}

void libraryFromCutService(WholeInstallation& rig, CuttablePackageService& cut) {
  rig.serveApplications("success", cut.base());
}

const FaultRow kFaultRows[] = {
    {"NetworkDownAtTheNetworkCheck",
     [](WholeInstallation& rig, CuttablePackageService&) { cutOff(rig, kProvidersPath); },
     {},
     kInstalled,
     "P206",
     0,
     networkBack},
    {"NetworkDownAtTheApplicationsDocument",
     [](WholeInstallation& rig, CuttablePackageService&) { cutOff(rig, kApplicationsPath); },
     {},
     kInstalled,
     "P207",
     0,
     networkBack},
    {"NetworkDownWhileTheLibraryDownloads",
     [](WholeInstallation& rig, CuttablePackageService& cut) {
       libraryFromCutService(rig, cut);
       cut.stop();
     },
     {},
     kInstalled,
     "P207",
     0,
     serviceBack},
    {"NetworkDownWhileTheProductDownloads",
     [](WholeInstallation& rig, CuttablePackageService& cut) {
       rig.servePackagesFrom(cut.base());
       cut.stop();
     },
     {},
     kInstalled,
     "C118",
     0,
     serviceBack},
    {"UnsignedLibrary",
     libraryFromCutService,
     {},
     kEndedAfterAlert,
     "P42",
     42,
     nullptr,
     "OrvelPIM-unsigned.dylib"},
    {"LibraryOfAnotherMaker",
     libraryFromCutService,
     {},
     kEndedAfterAlert,
     "P72",
     72,
     nullptr,
     "OrvelPIM-other.dylib"},
    {"QuitWhileTheApplicationsDocumentIsFetched",
     [](WholeInstallation& rig, CuttablePackageService&) {
       rig.server_->addRule(ruleFor(kApplicationsPath, testserver::FaultKind::StallBeforeReply));
     },
     {"--quit-at=0x1302"},
     kQuitByUser,
     nullptr,
     kStatusCancelled,
     nullptr,
     "OrvelPIM.dylib",
     true},
    {"QuitWhileTheLibraryInstalls",
     [](WholeInstallation& rig, CuttablePackageService&) {
       rig.serveApplications("slow", rig.packages_.base());
     },
     {"--quit-at=0x1606"},
     kQuitByUser,
     nullptr,
     kStatusCancelled,
     nullptr},
    {"QuitWhileTheProductInstalls",
     [](WholeInstallation& rig, CuttablePackageService&) {
       rig.servePackagesFrom(rig.packages_.base() + "/slow");
     },
     {"--quit-at=0x1A05"},
     kQuitByUser,
     nullptr,
     kStatusCancelled,
     nullptr},
};

void PrintTo(const FaultRow& row, std::ostream* out) {
  *out << row.name;
}

class WholeInstallationFaults : public WholeInstallation,
                                public ::testing::WithParamInterface<FaultRow> {
 protected:
  void runRow(const FaultRow& row) {
    CuttablePackageService cut(std::string(WEND_TEST_PIM_FOLDER "/") + row.library);
    ASSERT_NE(cut.port(), 0);
    installEarlierApp();
    row.arrange(*this, cut);
    const std::string retryFile = top_ / "network-back";
    std::vector<std::string> options = row.options;
    if (row.restore) {
      options.push_back("--retries=1");
      options.push_back("--retry-when=" + retryFile);
    }
    auto child = start(options);
    if (row.restore) {
      ASSERT_TRUE(within(60s, [&] {
        return child->output().find("\nalert ") != std::string::npos;
      })) << child->output();
      row.restore(*this, cut);
      writeText(retryFile, "");
    }
    if (row.quitsWithinASecond) {
      ASSERT_TRUE(within(60s, [&] { return child->printed("asking to quit"); })) << child->output();
      EXPECT_TRUE(child->waitFor(1s)) << "the quit took longer than a second";
    }
    const int status = child->wait();
    const std::string output = child->output();
    EXPECT_EQ(status, row.exit) << output;
    if (row.alert) {
      EXPECT_TRUE(
          std::regex_search(output, std::regex("\nalert \\S+ " + std::string(row.alert) + " ")))
          << output;
    }
    EXPECT_TRUE(endedWithError(output, row.error)) << output;
    EXPECT_TRUE(locksFree());
    if (status == kInstalled) {
      EXPECT_EQ(appArguments().size(), 5u) << output;
    } else {
      EXPECT_FALSE(fs::exists(desktopApp() + "/Contents/MacOS/argv.txt")) << "launched";
      EXPECT_TRUE(earlierAppStarts());
    }
  }
};

TEST_P(WholeInstallationFaults, EndsCleanly) {
  runRow(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Rows, WholeInstallationFaults, ::testing::ValuesIn(kFaultRows),
                         [](const auto& row) { return std::string(row.param.name); });

// The console user's products folder on a volume smaller than the product, in a mount namespace
// of the run's own: the placement fails on a full disk, the run ends at the product's disk-space
// alert, nothing half-copied stays behind and the earlier application still starts.
TEST_F(WholeInstallation, ProductLargerThanItsVolumeEndsAtTheDiskSpaceAlert) {
  std::string products;
  {
    PrivateRootEnvironment environment(root_);
    ASSERT_TRUE(applets::ProductPlacement::productsFolder(products));
  }
  const std::string mount = "mount -t tmpfs -o size=" + std::to_string(kProductVolumeBytes) +
                            ",mode=0755 tmpfs \"$1\" || exit 97; shift; exec \"$@\"";
  if (!runProgram({"unshare", "-rm", "sh", "-c", mount, "sh", products, "true"})) {
    GTEST_SKIP() << "no user and mount namespace with a tmpfs of its own here (unshare -rm)";
  }
  installEarlierApp();
  auto child = start({}, {"/usr/bin/unshare", "-rm", "sh", "-c", mount, "sh", products});
  const int status = child->wait();
  const std::string output = child->output();
  EXPECT_EQ(status, kEndedAfterAlert) << output;
  EXPECT_TRUE(std::regex_search(output, std::regex("\nalert ProductInstallationdiskSpaceErr C" +
                                                   std::to_string(kProductErrorDiskFull) + " ")))
      << output;
  // Quit at the alert: the run ends as cancelled, as the user asked.
  EXPECT_TRUE(endedWithError(output, kStatusCancelled)) << output;
  EXPECT_TRUE(locksFree());
  EXPECT_FALSE(fs::exists(desktopApp() + "/Contents/MacOS/argv.txt")) << "launched";
  EXPECT_TRUE(earlierAppStarts());
  EXPECT_TRUE(fs::is_empty(products)) << "the product reached the folder under the volume";
}

// Another installer, or a second test run, on the same machine holds the installer's locks.
TEST_F(WholeInstallation, AnotherInstallerOnTheMachineDoesNotStopIt) {
  if (!inPrivateMachine()) GTEST_SKIP() << "the kernel gave this program no namespaces of its own";
  MachineLockHolder otherInstaller(kBootstrapperLockId);
  ASSERT_TRUE(otherInstaller.holding());
  EXPECT_EQ(run(), kInstalled) << lastOutput_;
}

// The driver killed at random moments: the next run takes the locks, makes its own temporary
// folder and completes.
TEST_F(WholeInstallation, KilledRunsLeaveNothingTheNextRunTripsOver) {
  const unsigned seed = std::random_device()();
  std::printf("seed %u\n", seed);
  std::mt19937 random(seed);
  // A whole run takes about five seconds here: every state can be hit.
  std::uniform_int_distribution<int> moment(0, 5000);
  for (int round = 0; round < 10; ++round) {
    const int milliseconds = moment(random);
    SCOPED_TRACE("round " + std::to_string(round) + ", killed after " +
                 std::to_string(milliseconds) + " ms, seed " + std::to_string(seed));
    auto killed = start();
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    killed->kill9();
    std::map<std::string, fs::file_time_type> leftovers;
    std::error_code none;
    for (const auto& entry : fs::directory_iterator(root_ + "/tmp", none)) {
      leftovers[entry.path()] = fs::last_write_time(entry.path());
    }
    ASSERT_EQ(run(), kInstalled) << lastOutput_;
    for (const auto& [path, written] : leftovers) {
      std::error_code missing;
      const auto now = fs::last_write_time(path, missing);
      EXPECT_TRUE(missing || now == written) << path << " was used again";
    }
  }
}

}  // namespace
