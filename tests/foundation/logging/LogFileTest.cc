#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/logging/LogFile.h"
#include "tests/support/TemporaryFolder.h"

namespace pando {
namespace {

class LogFileTest : public ::testing::Test {
 protected:
  wendtest::TemporaryFolder folder_;
  LogFile file_;
};

TEST_F(LogFileTest, NewFileIsSharedReadWriteWhateverTheUmask) {
  mode_t old = umask(077);
  ASSERT_TRUE(file_.open(folder_ / "Wend.log"));
  umask(old);
  struct stat info;
  ASSERT_EQ(stat((folder_ / "Wend.log").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666u);
}

TEST_F(LogFileTest, AppendsToWhatIsThere) {
  const std::string path = folder_ / "Wend.log";
  wendtest::writeFile(path, "old\n");
  chmod(path.c_str(), 0600);
  ASSERT_TRUE(file_.open(path));
  ASSERT_TRUE(file_.append("new\n"));
  EXPECT_EQ(wendtest::readFile(path), "old\nnew\n");
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u) << "an existing file keeps its mode";
}

TEST_F(LogFileTest, RefusesALinkAtThePath) {
  const std::string target = folder_ / "elsewhere";
  wendtest::writeFile(target, "keep");
  ASSERT_EQ(symlink(target.c_str(), (folder_ / "Wend.log").c_str()), 0);
  EXPECT_FALSE(file_.open(folder_ / "Wend.log"));
  EXPECT_EQ(wendtest::readFile(target), "keep");
}

TEST_F(LogFileTest, RefusesAPlantedFifoWithoutBlocking) {
  ASSERT_EQ(mkfifo((folder_ / "Wend.log").c_str(), 0666), 0);
  EXPECT_FALSE(file_.open(folder_ / "Wend.log"));
  EXPECT_FALSE(file_.isOpen());
}

}  // namespace
}  // namespace pando
