#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "core/context/ApplicationContext.h"
#include "core/context/BundleResources.h"
#include "core/context/StandInParts.h"
#include "tests/support/PrivateRoot.h"
#include "tests/support/TemporaryFolder.h"

namespace wendtest {

// What the context handed its parts, as the test's factory saw it: the profile's environments.
using PartsRecord = std::vector<std::string>;

// Stand-in parts, the bundle's resources from a test folder and a sign-in profile that records.
class TestPartsFactory final : public StandInPartsFactory {
 public:
  TestPartsFactory(std::string resources, std::shared_ptr<PartsRecord> record)
      : resources_(std::move(resources)), record_(std::move(record)) {}
  std::unique_ptr<IBundleResources> makeBundleResources() override {
    return std::make_unique<FolderBundleResources>(resources_);
  }
  std::unique_ptr<ISignInProfile> makeSignInProfile() override {
    class Recording final : public ISignInProfile {
     public:
      explicit Recording(std::shared_ptr<PartsRecord> record) : record_(std::move(record)) {}
      void setEnvironment(const std::string& environment) override {
        record_->push_back(environment);
      }

     private:
      std::shared_ptr<PartsRecord> record_;
    };
    return std::make_unique<Recording>(record_);
  }

 private:
  std::string resources_;
  std::shared_ptr<PartsRecord> record_;
};

// A private tree under WEND_ROOT with this process's user at the console, a "/tmp" and a bundle
// whose configuration the test writes. The context is destroyed after every test.
class ContextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mkdir((root_ / "tmp").c_str(), 0777);
    mkdir((root_ / "Resources").c_str(), 0755);
    writeConfig("<config><sapCode>KVRQ</sapCode></config>");
  }
  void TearDown() override { ApplicationContext::Destroy(); }

  void writeConfig(const std::string& xml) { writeFile(root_ / "Resources/config.xml", xml); }

  // The parts the context is built with; a suite with parts of its own wraps these.
  virtual std::unique_ptr<IContextPartsFactory> parts() {
    return std::make_unique<TestPartsFactory>(root_ / "Resources", record_);
  }
  ApplicationContext* create() {
    ApplicationContext::SetPartsFactory(parts());
    return ApplicationContext::GetInstance();
  }

  bool initialize(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "Install");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    return create()->Initialize(static_cast<int>(argv.size()), argv.data());
  }

  std::string logText() const {
    return readFile(consoleUserLog(root_.path()));
  }

  TemporaryFolder root_;
  PrivateRootEnvironment environment_{root_.path()};
  std::shared_ptr<PartsRecord> record_ = std::make_shared<PartsRecord>();
};

}  // namespace wendtest
