#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>

#include "platform/files/AtomicFile.h"
#include "tests/support/TemporaryFolder.h"

using namespace wendtest;
using platform::AtomicFileMode;

namespace {

TEST(AtomicFile, ModeFollowsThePolicy) {
  TemporaryFolder tree;
  const mode_t oldMask = umask(022);
  struct Case {
    AtomicFileMode mode;
    mode_t before;  // 0: nothing there yet
    mode_t after;
  } cases[] = {{AtomicFileMode::kCreationDefault, 0, 0644},
               {AtomicFileMode::kCreationDefault, 0600, 0644},
               {AtomicFileMode::kKeepReplacedElse0644, 0, 0644},
               {AtomicFileMode::kKeepReplacedElse0644, 0640, 0640}};
  int index = 0;
  for (const Case& c : cases) {
    const std::string path = tree / std::to_string(index++);
    if (c.before != 0) {
      writeFile(path, "old");
      chmod(path.c_str(), c.before);
    }
    ASSERT_TRUE(platform::replaceFileAtomically(path, "new", c.mode));
    EXPECT_EQ(readFile(path), "new");
    EXPECT_EQ(statOf(path).st_mode & 07777, c.after) << index;
  }
  umask(oldMask);
}

// The temporary name once grew with the target's and passed the 255-byte limit from 238 bytes.
TEST(AtomicFile, WritesAnyNameTheFolderCanHoldAndLeavesNothingElse) {
  TemporaryFolder tree;
  const std::string path = tree / std::string(250, 'n');
  ASSERT_TRUE(platform::replaceFileAtomically(path, "long", AtomicFileMode::kCreationDefault));
  EXPECT_EQ(readFile(path), "long");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tree.path()), {}), 1);
}

TEST(AtomicFile, ReplacesALinkInsteadOfWritingThroughItAndRefusesNamesThatAreNoFile) {
  TemporaryFolder tree;
  writeFile(tree / "target", "kept");
  ASSERT_EQ(symlink((tree / "target").c_str(), (tree / "link").c_str()), 0);
  ASSERT_TRUE(
      platform::replaceFileAtomically(tree / "link", "new", AtomicFileMode::kCreationDefault));
  EXPECT_EQ(readFile(tree / "target"), "kept");
  EXPECT_EQ(readFile(tree / "link"), "new");
  EXPECT_FALSE(std::filesystem::is_symlink(tree / "link"));
  for (const std::string& path : {std::string(), tree / ".", tree / "..", tree / "missing/f"}) {
    EXPECT_FALSE(platform::replaceFileAtomically(path, "x", AtomicFileMode::kCreationDefault))
        << path;
  }
}

}  // namespace
