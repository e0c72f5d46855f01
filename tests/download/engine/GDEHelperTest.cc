#include <gtest/gtest.h>

#include "download/engine/GDEHelper.h"
#include "tests/download/engine/support/EngineTestSupport.h"
#include "tests/download/engine/support/TestServerFixture.h"

namespace gde {
namespace {

class GDEHelperTest : public TestServerFixture {
 protected:
  // The engine log and the temporary-files folder live in the test's own tree.
  void SetUp() override {
    TestServerFixture::SetUp();
    ::setenv("WEND_ROOT", scratch().path().c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("WEND_ROOT");
    TestServerFixture::TearDown();
  }
  GDEHelper helper{testing::quickSettings(), std::chrono::milliseconds(1)};
  DLEInputStruct request(const std::string& path) {
    DLEInputStruct input;
    input.serverfullpath = url(path);
    return input;
  }
};

TEST_F(GDEHelperTest, RefusesToDownloadBeforeADownloaderExists) {
  std::string out;
  EXPECT_EQ(helper.downloadToString(out), -4);
}

TEST_F(GDEHelperTest, DownloadsAReplyIntoAStringAndLeavesNoFileBehind) {
  const std::string reply = "<features><feature id=\"1\"/></features>";
  server().addBody("/features.xml", reply);
  ASSERT_EQ(helper.createDownloader(request("/features.xml")), 0);
  std::string out;
  ASSERT_EQ(helper.downloadToString(out), 0);
  EXPECT_EQ(out, reply);
  // The reply went through a UUID-named temporary file, deleted afterwards.
  EXPECT_EQ(helper.downloadToString(out), 0) << "the helper can run again";
}

TEST_F(GDEHelperTest, ReportsAFailedDownloadWithTheEnginesError) {
  testserver::Fault missing;
  missing.status = 404;
  server().addBody("/gone.xml", "x");
  server().addRule(testserver::Rule{"/gone.xml", 2, 0, missing});
  ASSERT_EQ(helper.createDownloader(request("/gone.xml")), 0);
  std::string out;
  EXPECT_EQ(helper.downloadToString(out), -999);
  int32_t type = 0, code = 0;
  helper.getLastError(type, code);
  EXPECT_NE(type, 0);
}

}  // namespace
}  // namespace gde
