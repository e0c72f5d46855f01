#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "core/workflow/RelaunchCopy.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/WaitUntil.h"

namespace {

namespace fs = std::filesystem;
using wendtest::readFile;
using wendtest::TemporaryFolder;
using wendtest::waitUntil;
using wendtest::writeFile;
using Arguments = std::vector<std::string>;

// An applet host that only knows where the desktop application is.
class KnownProduct final : public IAppletMessageManager {
 public:
  explicit KnownProduct(std::string path) : path_(std::move(path)) {}
  int StartWorkflow(const ProductInstallArgs*) override { return 1; }
  void HandleUserAction(const AppletUserAction*) override {}
  void GetProductInfo(AppletProductInfo& info) override { info.launchPath = path_; }
  int FinalizeCore() override { return 0; }

 private:
  std::string path_;
};

// A stand-in desktop application: a copy of sleep under the product's executable name.
class RunningProduct {
 public:
  explicit RunningProduct(const std::string& path) {
    fs::create_directories(fs::path(path).parent_path());
    fs::copy_file("/bin/sleep", path);
    char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>("60"), nullptr};
    if (posix_spawn(&pid_, path.c_str(), nullptr, nullptr, argv, environ) != 0) pid_ = -1;
  }
  ~RunningProduct() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

class RelaunchCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bundle_ = folder_ / "Volume/Install.app";
    fs::create_directories(bundle_ + "/Contents/MacOS");
    // The copy's Install writes its arguments next to itself, so each copy is told apart.
    writeFile(bundle_ + "/Contents/MacOS/Install",
              "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/argv.tmp\"\n"
              "mv \"$(dirname \"$0\")/argv.tmp\" \"$(dirname \"$0\")/argv\"\n");
    fs::permissions(bundle_ + "/Contents/MacOS/Install", fs::perms::owner_all);
  }

  RelaunchInputs inputs(const std::string& temporaryRoot, IAppletMessageManager* applets) const {
    RelaunchInputs in;
    in.bundlePath = bundle_;
    in.temporaryRoot = temporaryRoot;
    in.applets = applets;
    in.selfPid = getpid();
    return in;
  }
  // The copies made below `root`.
  static std::vector<fs::path> copies(const std::string& root) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(root)) found.push_back(entry.path());
    return found;
  }

  TemporaryFolder folder_;
  std::string bundle_;
};

TEST_F(RelaunchCopyTest, ArgumentsFollowMountPathExperimentAndRunningApplication) {
  const std::string productPath = folder_ / "opt/Skyloom.app/Contents/MacOS/Skyloom";
  RunningProduct product(productPath);
  ASSERT_GT(product.pid(), 0);
  KnownProduct running(productPath);
  KnownProduct stopped(folder_ / "elsewhere/Skyloom");
  int row = 0;
  for (const std::string mount : {"", "/media/Tarn"}) {
    for (const std::string exp : {"default", "tarn", "notification"}) {
      for (const bool isRunning : {false, true}) {
        SCOPED_TRACE(mount + " " + exp + (isRunning ? " running" : " stopped"));
        const std::string root = folder_ / ("tmp" + std::to_string(row++));
        fs::create_directories(root);
        RelaunchInputs in = inputs(root, isRunning ? &running : &stopped);
        in.mountPath = mount;
        in.wendExp = exp;
        RelaunchCopy(in).relaunchFromTempLocation();

        Arguments expected;
        if (!mount.empty()) {
          expected = {"--volumeName=" + mount, "--parentPID=" + std::to_string(getpid())};
        }
        if (exp != "default" && isRunning) {
          expected.push_back("--productPID=" + std::to_string(product.pid()));
          expected.push_back("--wendExp=" + exp);
        }
        if (expected.empty()) {
          EXPECT_TRUE(copies(root).empty());
          continue;
        }
        const auto made = copies(root);
        ASSERT_EQ(made.size(), 1u);
        EXPECT_EQ(fs::status(made[0]).permissions() & fs::perms::all, fs::perms::owner_all);
        const std::string argv = made[0] / "Install.app/Contents/MacOS/argv";
        ASSERT_TRUE(waitUntil([&] { return fs::exists(argv); }));
        std::string wanted;
        for (const std::string& argument : expected) wanted += argument + "\n";
        EXPECT_EQ(readFile(argv), wanted);
      }
    }
  }
}

TEST_F(RelaunchCopyTest, FailedCopyStartsNothingAndLeavesNoFolder) {
  const std::string root = folder_ / "tmp";
  fs::create_directories(root);
  RelaunchInputs in = inputs(root, nullptr);
  in.bundlePath = folder_ / "Volume/Missing.app";
  in.mountPath = "/media/Tarn";
  int launches = 0;
  in.launch = [&](const std::string&, const Arguments&) { return ++launches > 0; };
  RelaunchCopy(in).relaunchFromTempLocation();
  EXPECT_EQ(launches, 0);
  EXPECT_TRUE(copies(root).empty());

  // A temporary folder that cannot take the copy's folder: nothing either.
  in.bundlePath = bundle_;
  in.temporaryRoot = folder_ / "no-such-folder";
  RelaunchCopy(in).relaunchFromTempLocation();
  EXPECT_EQ(launches, 0);
}

}  // namespace
