#include <gtest/gtest.h>
#include <stdlib.h>

#include "download/engine/DownloadLibrary.h"
#include "tests/support/TemporaryFolder.h"

namespace gde {
namespace {

// The engine log opens in the test's own tree.
class DownloadLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("WEND_ROOT", scratch.path().c_str(), 1); }
  void TearDown() override { ::unsetenv("WEND_ROOT"); }
  wendtest::TemporaryFolder scratch;
};

TEST_F(DownloadLibraryTest, OpensOnceAndKeepsTheFirstReference) {
  DLELibRef* library = nullptr;
  ASSERT_EQ(initDownloadLibrary(&library), 0);
  DLELibRef* first = library;
  EXPECT_EQ(initDownloadLibrary(&library), 30);
  EXPECT_EQ(library, first);
  EXPECT_EQ(endDownloadLibrary(&library), 0);
  EXPECT_EQ(library, nullptr);
  EXPECT_EQ(endDownloadLibrary(&library), -3);
}

TEST_F(DownloadLibraryTest, MakesAndClosesHandlesOnlyWithAReferenceAndAnEmptySlot) {
  DLELibRef* library = nullptr;
  ASSERT_EQ(initDownloadLibrary(&library), 0);
  DLEFileDownloader* handle = nullptr;
  EXPECT_EQ(createFileDownloader(nullptr, &handle), -3);
  ASSERT_EQ(createFileDownloader(library, &handle), 0);
  DLEFileDownloader* kept = handle;
  EXPECT_EQ(createFileDownloader(library, &handle), 30);
  EXPECT_EQ(handle, kept);
  DLEProgress progress;
  EXPECT_EQ(handle->getProgress(progress), 10);
  EXPECT_EQ(handle->start(), -4);
  EXPECT_EQ(closeFileDownloader(&handle), 0);
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(closeFileDownloader(&handle), -3);
  endDownloadLibrary(&library);
}

}  // namespace
}  // namespace gde
