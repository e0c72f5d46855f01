#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/logging/LogFile.h"
#include "platform/UniqueFd.h"
#include "tests/support/TemporaryFolder.h"

namespace pando {
namespace {

mode_t modeOf(const std::string& path) {
  struct stat info {};
  stat(path.c_str(), &info);
  return info.st_mode & 0777;
}

TEST(LogFileTest, NewFileIsSharedReadWriteAndAnExistingOneKeepsItsModeAndContent) {
  wendtest::TemporaryFolder folder;
  LogFile file;
  const mode_t old = umask(077);
  ASSERT_TRUE(file.open(folder / "new.log"));
  umask(old);
  EXPECT_EQ(modeOf(folder / "new.log"), 0666u);
  wendtest::writeFile(folder / "old.log", "old\n");
  chmod((folder / "old.log").c_str(), 0600);
  ASSERT_TRUE(file.open(folder / "old.log"));
  ASSERT_TRUE(file.append("new\n"));
  EXPECT_EQ(wendtest::readFile(folder / "old.log"), "old\nnew\n");
  EXPECT_EQ(modeOf(folder / "old.log"), 0600u);
}

// A FIFO with a reader opens for writing; only the type check refuses it.
TEST(LogFileTest, RefusesALinkOrAFifoAtThePathWithoutBlocking) {
  wendtest::TemporaryFolder folder;
  wendtest::writeFile(folder / "elsewhere", "keep");
  ASSERT_EQ(symlink((folder / "elsewhere").c_str(), (folder / "link.log").c_str()), 0);
  ASSERT_EQ(mkfifo((folder / "fifo.log").c_str(), 0666), 0);
  platform::UniqueFd reader(open((folder / "fifo.log").c_str(), O_RDONLY | O_NONBLOCK));
  for (const char* name : {"link.log", "fifo.log", "missing/x.log"}) {
    LogFile file;
    EXPECT_FALSE(file.open(folder / name)) << name;
    EXPECT_FALSE(file.isOpen());
  }
  EXPECT_EQ(wendtest::readFile(folder / "elsewhere"), "keep");
}

}  // namespace
}  // namespace pando
