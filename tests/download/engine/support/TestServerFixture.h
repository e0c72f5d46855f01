#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "tests/download/engine/support/FolderFiles.h"
#include "tools/testserver/BodyPattern.h"
#include "tools/testserver/TestServer.h"

// A loopback test server for each test, serving a scratch folder; stopped after the test.
class TestServerFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    testserver::TestServerSettings settings;
    settings.root = scratch_.path();
    settings.stallLimit = std::chrono::seconds(20);
    settings.lifetime = std::chrono::minutes(5);
    server_ = std::make_unique<testserver::TestServer>(settings);
    ASSERT_TRUE(server_->start());
  }
  void TearDown() override { server_->stop(); }

  testserver::TestServer& server() { return *server_; }
  const wendtest::TemporaryFolder& scratch() const { return scratch_; }
  std::string url(std::string_view path) const { return server_->url(path); }

  // Bytes offset .. offset + length - 1 of a generated body.
  static std::string generatedBytes(uint64_t seed, uint64_t offset, size_t length) {
    std::string bytes(length, '\0');
    testserver::fillPattern(seed, offset, reinterpret_cast<unsigned char*>(bytes.data()), length);
    return bytes;
  }

 private:
  wendtest::TemporaryFolder scratch_;
  std::unique_ptr<testserver::TestServer> server_;
};
