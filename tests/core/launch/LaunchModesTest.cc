// The launch modes, run as the built program under a private WEND_ROOT, with the fake hdiutil, a
// fake desktop application, the fake messaging library, and sleepers as parent and product.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/text/StringUtils.h"
#include "tests/core/launch/support/ProgramRun.h"
#include "tests/support/DiskImage.h"
#include "tests/support/PrivateRoot.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/WaitUntil.h"

namespace {

namespace fs = std::filesystem;
using wendtest::ProgramRun;
using wendtest::readFile;
using wendtest::Sleeper;
using wendtest::waitUntil;

constexpr char kResponseLine[] = "sendMessage kiln.SuiteMessage.corvel.app.ShowNotificationRequest";

std::string base64(const std::string& text) {
  std::string out;
  StringUtils::utilEncodeDataInBase64(text.data(), text.size(), out);
  return out;
}

// An image whose property list carries `details`, Base64-encoded, at offset 64.
std::string imageWith(const std::string& details) {
  const std::string plist = "<plist><dict><key>ProductDetails</key><string>" + base64(details) +
                            "</string></dict></plist>";
  return wendtest::diskImage(std::string(64, 'z') + plist, 64, static_cast<uint32_t>(plist.size()));
}

class LaunchModesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ / "tmp");
    fs::create_directories(root_ / "hdiutil");
    const std::string app = desktopApp();
    fs::create_directories(fs::path(app).parent_path());
    wendtest::writeFile(app,
                        "#!/bin/sh\necho \"launched $*\" >> '" + (root_ / "desktop.log") + "'\n");
    fs::permissions(app, fs::perms::owner_all);
  }

  std::string desktopApp() const {
    return root_ / "opt/Utilities/Orvel Skyloom/Tarn/Skyloom.app/Contents/MacOS/Skyloom";
  }
  bool desktopLaunched() const { return fs::exists(root_ / "desktop.log"); }

  void installKiln() {
    const std::string folder = root_ / "var/lib/Orvel/Hearth/Teel";
    fs::create_directories(folder);
    fs::copy_file(WEND_FAKE_KILN_WRAPPER, folder + "/KilnWrapper.dylib");
  }

  // A copy of the built bundle at `bundle`.
  static void copyBundle(const std::string& bundle) {
    fs::create_directories(bundle);
    fs::copy(WEND_INSTALL_BUNDLE, bundle, fs::copy_options::recursive);
  }

  ProgramRun::Changes environment() const {
    ProgramRun::Changes changes = wendtest::privateRootChanges(root_.path());
    changes.insert({{"WEND_TIME_SCALE", timeScale_},
                    {"WEND_TOOL_HDIUTIL", WEND_FAKE_HDIUTIL},
                    {"WEND_FAKE_HDIUTIL_STATE", root_ / "hdiutil"},
                    {"WEND_MOUNTINFO", root_ / "mountinfo"},
                    {"WEND_FAKE_KILN_LOG", root_ / "kiln.log"},
                    {"WEND_FAKE_KILN_ANSWER", kilnAnswer_},
                    {"LANGUAGE", std::nullopt},
                    {"LC_ALL", std::nullopt},
                    {"LC_MESSAGES", std::nullopt},
                    // The user's install mode opens windows only on a display the test gives.
                    {"DISPLAY", std::nullopt},
                    {"WAYLAND_DISPLAY", std::nullopt},
                    {"LANG", "de_DE.UTF-8"}});
    return changes;
  }

  std::unique_ptr<ProgramRun> start(const std::vector<std::string>& arguments,
                                    const std::string& bundle = WEND_INSTALL_BUNDLE) {
    std::vector<std::string> argv = {bundle + "/Contents/MacOS/Install"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return std::make_unique<ProgramRun>(argv, environment());
  }
  // Runs to the end; every mode ends with status 0.
  std::string run(const std::vector<std::string>& arguments,
                  const std::string& bundle = WEND_INSTALL_BUNDLE) {
    std::unique_ptr<ProgramRun> program = start(arguments, bundle);
    EXPECT_EQ(program->finish(), 0);
    return program->output();
  }

  wendtest::TemporaryFolder root_;
  std::string timeScale_ = "0.01";
  std::string kilnAnswer_ = "never";
};

TEST_F(LaunchModesTest, ExtractWithoutAnImagePrintsThatNothingWasFound) {
  EXPECT_EQ(run({"--extractEmbeddedData=1", "--outputPath=" + (root_ / "details.json"),
                 "--parentPID=-1", "--volumeName=/v"}),
            "Embedded data not found.");
  EXPECT_FALSE(fs::exists(root_ / "details.json"));
}

TEST_F(LaunchModesTest, ExtractWritesTheDetailsOfTheImageTheProgramWasOpenedFrom) {
  const std::string volume = root_ / "media/Tarn Installer";
  copyBundle(volume + "/Install.app");
  wendtest::writeFile(root_ / "mountinfo",
                      "22 1 8:1 / / rw - ext4 /dev/vda1 rw\n"
                      "40 22 7:5 / " +
                          root_.path() +
                          "/media/Tarn\\040Installer ro - hfsplus "
                          "/dev/loop5 ro\n");
  fs::create_directories(root_ / "images");
  wendtest::writeFile(root_ / "images/tarn.dmg", imageWith("{\"productName\":\"Tarn\"}"));
  wendtest::writeFile(root_ / "hdiutil/mounts", root_ / "images/tarn.dmg" + "\t" + volume + "\n");

  EXPECT_EQ(run({"--extractEmbeddedData=true", "--outputPath=" + (root_ / "details.json")}), "");
  EXPECT_EQ(readFile(root_ / "details.json"), "{\"productName\":\"Tarn\"}");
}

TEST_F(LaunchModesTest, UnmountDetachesTheVolumeOnlyOnceTheParentHasEnded) {
  Sleeper parent;
  std::unique_ptr<ProgramRun> program =
      start({"--parentPID=" + std::to_string(parent.pid()), "--volumeName=/media/Tarn"});
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // thirty scaled checks
  EXPECT_TRUE(program->running());
  EXPECT_EQ(readFile(root_ / "hdiutil/calls"), "");
  parent.end();
  EXPECT_EQ(program->finish(), 0);
  EXPECT_TRUE(waitUntil([&] { return !readFile(root_ / "hdiutil/calls").empty(); }));
  EXPECT_EQ(readFile(root_ / "hdiutil/calls"), "detach\t/media/Tarn/\t-quiet\n");
}

TEST_F(LaunchModesTest, UnmountOfNoProcessOrNoVolumeDetachesNothing) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--parentPID=-1", "--volumeName=/media/Tarn/"},
        std::vector<std::string>{"--parentPID=not a number", "--volumeName=/media/Tarn/"},
        std::vector<std::string>{"--parentPID=1", "--volumeName="}}) {
    run(arguments);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(readFile(root_ / "hdiutil/calls"), "detach\t/media/Tarn/\t-quiet\n")
      << "only the id that is no number, read as 0 and so not running, detaches at once";
}

TEST_F(LaunchModesTest, TarnOpensTheDesktopApplicationOnceTheProductHasEnded) {
  Sleeper product;
  std::unique_ptr<ProgramRun> program =
      start({"--productPID=" + std::to_string(product.pid()), "--wendExp=tarn"});
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(program->running());
  EXPECT_FALSE(desktopLaunched());
  product.end();
  EXPECT_EQ(program->finish(), 0);
  EXPECT_TRUE(waitUntil([&] { return desktopLaunched(); }));
  EXPECT_EQ(readFile(root_ / "desktop.log"), "launched \n");
}

TEST_F(LaunchModesTest, NotificationAnsweredOpensTheDesktopApplicationWithoutWaitingItOut) {
  installKiln();
  kilnAnswer_ = "respond";
  timeScale_ = "1";  // a full minute's wait, which the answer must cut short
  const auto started = std::chrono::steady_clock::now();
  run({"--productPID=-1", "--wendExp=notification"});
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
  EXPECT_TRUE(waitUntil([&] { return desktopLaunched(); }));

  const std::string log = readFile(root_ / "kiln.log");
  EXPECT_EQ(
      log.rfind("initializeKiln WendB 0\n" + std::string(kResponseLine) + " Gorse [] false\n", 0),
      0u)
      << log;
  for (const char* element :
       {"<context>WendB</context>",
        "<ackNamespace>wend.app.ShowNotificationResponse</ackNamespace>", "<title>Skyloom</title>",
        // The run's locale is de_DE, which has a dictionary of its own.
        "<message>Ihr Produkt wurde geschlossen. Klicken Sie, um Skyloom zu \u00f6ffnen.</message>",
        "<requestid>"}) {
    EXPECT_NE(log.find(element), std::string::npos) << element;
  }
  EXPECT_EQ(log.substr(log.size() - 10), "closeKiln\n");
}

// The negative runs, one each: other follow-ups, "notification" without the messaging library or
// unanswered, and a bundle whose configuration does not load, which runs no mode at all.
TEST_F(LaunchModesTest, RunsThatMustNotOpenTheDesktopApplication) {
  run({"--productPID=-1", "--wendExp=notification"});
  installKiln();
  for (const char* follow : {"Tarn", "NOTIFICATION", "default"})
    run({"--productPID=-1", std::string("--wendExp=") + follow});
  EXPECT_FALSE(fs::exists(root_ / "kiln.log"));
  for (const char* answer : {"never", "other"}) {
    kilnAnswer_ = answer;
    run({"--productPID=-1", "--wendExp=notification"});
    EXPECT_NE(readFile(root_ / "kiln.log").find("closeKiln"), std::string::npos) << answer;
  }
  const std::string bundle = root_ / "Downloads/Install.app";
  copyBundle(bundle);
  wendtest::writeFile(bundle + "/Contents/Resources/config.xml", "<config>");
  EXPECT_EQ(run({"--extractEmbeddedData=true", "--outputPath=" + (root_ / "details.json")}, bundle),
            "");
  run({}, bundle);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(desktopLaunched());
}

TEST_F(LaunchModesTest, InstalledDesktopApplicationIsOpenedUnlessTheWorkflowIsATest) {
  run({});
  EXPECT_TRUE(waitUntil([&] {
    return readFile(root_ / "desktop.log").find("--lbsInstallerWorkflowID=") != std::string::npos;
  }));
  EXPECT_EQ(readFile(root_ / "desktop.log")
                .rfind("launched --appletID=AppsPanel_BL --appletVersion=1.0 --inputXmlPath=" +
                           (root_ / "tmp/productInfo.xml") + " --lbsWorkflowID=",
                       0),
            0u);

  fs::remove(root_ / "desktop.log");
  const std::string bundle = root_ / "Downloads/Install.app";
  copyBundle(bundle);
  wendtest::writeFile(bundle + "/Contents/Resources/config.xml",
                      "<config><sapCode>test</sapCode></config>");
  // The test workflow goes on to the installer's windows, and without a display ends there.
  EXPECT_EQ(start({}, bundle)->finish(), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(desktopLaunched());
}

TEST_F(LaunchModesTest, CleanupRemovesOnlyTheRelaunchCopyInTheTemporaryFolder) {
  std::string uuid;
  StringUtils::utilCreateUUIDString(uuid);
  // Which folders count as the copy is LaunchPartsTest's table; here one of each kind.
  const std::string copy = root_ / ("tmp/" + uuid);
  const std::string elsewhere = root_ / "Downloads";
  for (const std::string& folder : {copy, elsewhere}) {
    copyBundle(folder + "/Install.app");
    run({"--parentPID=-1", "--volumeName=/media/Tarn"}, folder + "/Install.app");
  }
  EXPECT_FALSE(fs::exists(copy));
  EXPECT_TRUE(fs::exists(elsewhere + "/Install.app/Contents/MacOS/Install"));
}

}  // namespace
