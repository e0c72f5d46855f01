#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "applets/LoomIMMessageManager.h"
#include "applets/ProductPlacement.h"
#include "tests/applets/support/ProgressRecorder.h"
#include "tests/download/engine/support/EngineTestSupport.h"
#include "tests/support/Environment.h"
#include "tests/support/PrivateRoot.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/WaitUntil.h"
#include "tests/support/ZipWriter.h"
#include "tools/testserver/TestServer.h"

namespace wendtest {

// A private tree under WEND_ROOT with this process's user at the console, a run temp folder, and
// a loopback server that serves the products document at "/products" and packages from a folder.
class AppletTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mkdir((root_ / "tmp").c_str(), 0777);
    mkdir(tempLocation().c_str(), 0700);
    mkdir(servedFolder().c_str(), 0755);
    testserver::TestServerSettings settings;
    settings.root = servedFolder();
    settings.stallLimit = std::chrono::seconds(20);
    server_ = std::make_unique<testserver::TestServer>(settings);
    ASSERT_TRUE(server_->start());
    ProgressRecorder::instance().clear();
    applets::AppletHostSettings quick;
    quick.download = gde::testing::quickSettings();
    quick.pollInterval = std::chrono::milliseconds(5);
    manager_ = std::make_unique<LoomIMMessageManager>(quick);
  }

  std::string tempLocation() const { return root_ / "tmp/run"; }
  std::string servedFolder() const { return root_ / "served"; }
  testserver::TestServer& server() { return *server_; }
  LoomIMMessageManager& manager() { return *manager_; }

  std::string productsFolder() const {
    std::string folder;
    EXPECT_TRUE(applets::ProductPlacement::productsFolder(folder));
    return folder;
  }
  std::string configXml() const {
    return "<config><productServiceUrl>" + server_->url("/products") +
           "?channel=ccm</productServiceUrl><sapCode>kvrq</sapCode><locale>fr_FR</locale>"
           "</config>";
  }
  // A products document listing (id, package URL) pairs.
  static std::string productsXml(const std::vector<std::pair<std::string, std::string>>& products) {
    std::string xml = "<channels><channel><products>";
    for (const auto& [id, url] : products) {
      xml += "<product id=\"" + id + "\"><custom-data><custom-entry key=\"packageURL\"><value>" +
             url + "</value></custom-entry></custom-data></product>";
    }
    return xml + "</products></channel></channels>";
  }
  // Bytes that do not compress, so a package is about as large as its content.
  static std::string noise(size_t size) {
    std::mt19937 generator(7);
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>(generator());
    return bytes;
  }
  void serveProducts(const std::string& xml) { server_->addBody("/products", xml); }
  // A package at servedFolder()/name with the given files.
  std::string servePackage(const std::string& name,
                           const std::vector<std::pair<std::string, std::string>>& files) {
    ZipWriter zip(servedFolder() + "/" + name);
    for (const auto& [path, data] : files) zip.file(path, data);
    EXPECT_TRUE(zip.close());
    return server_->url("/" + name);
  }

  // Starts the installation with a record whose texts are overwritten and freed once this returns.
  int start(const std::string& config, const std::string& proxyPassword = "proxypass") {
    std::vector<std::string> t{config,      "{}",          tempLocation(), "pipe",
                               "proxyuser", proxyPassword, "fr_FR"};
    std::vector<const char*> c;
    for (const std::string& text : t) c.push_back(text.c_str());
    ProductInstallArgs args{
        &ProgressRecorder::callback, c[0], c[1], c[2], c[3], c[4], c[5], 0, c[6]};
    int result = manager_->StartWorkflow(&args);
    for (std::string& text : t) text.assign(text.size(), 'x');
    return result;
  }
  int start() { return start(configXml()); }

  void action(const char* name, const char* proxyUser = nullptr,
              const char* proxyPassword = nullptr) {
    AppletUserAction record;
    record.action = name;
    record.proxyUserName = proxyUser;
    record.proxyPassword = proxyPassword;
    manager_->HandleUserAction(&record);
  }

  // Waits for the `skip`-th end report (from 0): type 4 with `code`, or type 3 at 100 when code is
  // 0.
  void expectEnd(int code, bool resumable, size_t skip) {
    auto end = ProgressRecorder::instance().waitForEnd(skip);
    ASSERT_TRUE(end) << "no end reported";
    EXPECT_EQ(end->type, code ? 4 : 3);
    EXPECT_EQ(end->errorCode, code);
    EXPECT_EQ(end->isErrorResumable, resumable);
    EXPECT_TRUE(code || end->progress == 100) << end->progress;
  }
  void expectError(int code, bool resumable, size_t skip = 0) { expectEnd(code, resumable, skip); }
  void expectDone(size_t skip = 0) { expectEnd(0, false, skip); }

  // Waits until the server has seen a `method` request for `path`.
  bool requested(const std::string& path, const std::string& method) {
    return waitUntil([&] {
      for (const auto& request : server_->requestsFor(path))
        if (request.method() == method) return true;
      return false;
    });
  }

  TemporaryFolder root_;
  PrivateRootEnvironment environment_{root_.path()};
  std::unique_ptr<testserver::TestServer> server_;
  std::unique_ptr<LoomIMMessageManager> manager_;  // goes before the server it downloads from
};

}  // namespace wendtest
