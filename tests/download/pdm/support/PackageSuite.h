#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>

#include "download/pdm/common/PDMLogger.h"
#include "tests/download/pdm/support/PackageService.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/TemporaryFolder.h"

namespace wendtest {

// One package service and one private WEND_ROOT (the temporary folder of workflow 0 and the
// engine's log) per suite; the manager logs to `logger_`, cleared before each test.
class PackageSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = std::make_unique<TemporaryFolder>();
    setenv("WEND_ROOT", root_->path().c_str(), 1);
    service_ = std::make_unique<PackageService>();
    orvel::PackageDownloadManager::PDMLogger::instance().setLogger(&logger_, "Bootstrapper");
  }
  static void TearDownTestSuite() {
    orvel::PackageDownloadManager::PDMLogger::instance().setLogger(nullptr, "");
    service_.reset();
    root_.reset();
  }
  void SetUp() override {
    ASSERT_NE(service_->port(), 0) << "the package service did not start";
    logger_.clear();
  }

  static inline std::unique_ptr<TemporaryFolder> root_;
  static inline std::unique_ptr<PackageService> service_;
  static inline CapturingLogger logger_;
  TemporaryFolder folder_;
};

}  // namespace wendtest
