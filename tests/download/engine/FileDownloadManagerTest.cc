#include <gtest/gtest.h>

#include "download/engine/EngineFileSystem.h"
#include "download/engine/FileDownloadManager.h"
#include "tests/download/engine/support/EngineTestSupport.h"
#include "tests/download/engine/support/TestServerFixture.h"

namespace gde {
namespace {

using namespace gde::testing;

class FileDownloadManagerTest : public TestServerFixture {
 protected:
  std::unique_ptr<FileDownloadManager> makeManager(DownloadSettings settings = quickSettings()) {
    return std::make_unique<FileDownloadManager>(settings, EngineClock::steady(), quickHttp());
  }
  std::string target() const { return scratch().file("out.bin"); }
  std::string expected(uint64_t seed, uint64_t size) const { return generatedBytes(seed, 0, size); }
};

TEST_F(FileDownloadManagerTest, DownloadsWholeFilesByteForByteWithAnyThreadCountAndSegmentSize) {
  const uint64_t size = 5 * 1024 * 1024 + 12345;
  server().addGenerated("/file.bin", size, 7);
  for (uint32_t threads : {1u, 4u, 12u}) {
    for (uint32_t segmentSize : {0x10000u, 0x100000u, 0x400000u}) {
      SCOPED_TRACE(::testing::Message() << threads << " threads, segments of " << segmentSize);
      auto manager = makeManager();
      EventRecorder events;
      manager->registerIntercept(4, &events);
      ASSERT_EQ(manager->init(requestFor(url("/file.bin"), scratch().path(), threads, segmentSize)),
                0);
      ASSERT_EQ(manager->start(), 0);
      ASSERT_EQ(waitForState(*manager, {5, 6, 7}), 5);
      EXPECT_EQ(ScratchFolder::read(target()), expected(7, size));
      EXPECT_EQ(events.completedPath(), target());
      EXPECT_FALSE(fileExists(target() + ".quarrydownload"));
      EXPECT_FALSE(fileExists(target() + ".quarrydownload.quarryd"));
      DLEProgress progress;
      manager->getProgress(progress);
      EXPECT_EQ(progress.bytesDownloaded, size);
      manager->stop();
      std::remove(target().c_str());
    }
  }
}

}  // namespace
}  // namespace gde
