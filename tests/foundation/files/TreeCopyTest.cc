#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>

#include "foundation/files/TreeCopy.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

using namespace wendtest;

namespace {

void setTimes(const std::string& path, time_t seconds) {
  const timespec times[2] = {{seconds, 0}, {seconds + 1, 500}};
  utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// src/ holds: file (0640), run.sh (0755), sub/inner, link -> file, fifo; times set apart.
void buildSource(const TemporaryFolder& tree) {
  std::filesystem::create_directories(tree / "src/sub");
  writeFile(tree / "src/file", "file bytes");
  writeFile(tree / "src/run.sh", "#!/bin/sh\n");
  writeFile(tree / "src/sub/inner", "inner bytes");
  chmod((tree / "src/file").c_str(), 0640);
  chmod((tree / "src/run.sh").c_str(), 0755);
  chmod((tree / "src/sub").c_str(), 0750);
  symlink("file", (tree / "src/link").c_str());
  mkfifo((tree / "src/fifo").c_str(), 0620);
  for (const char* entry : {"src/file", "src/run.sh", "src/sub/inner", "src/link", "src/fifo"}) {
    setTimes(tree / entry, 1000000000);
  }
  setTimes(tree / "src/sub", 1100000000);
}

void expectSameTree(const TemporaryFolder& tree, const std::string& copy) {
  for (const char* entry : {"file", "run.sh", "sub", "sub/inner", "link", "fifo"}) {
    struct stat from = statOf(tree / "src/" + entry);
    struct stat to = statOf(copy + "/" + entry);
    EXPECT_EQ(to.st_mode, from.st_mode) << entry;
    EXPECT_EQ(to.st_mtim.tv_sec, from.st_mtim.tv_sec) << entry;
    EXPECT_EQ(to.st_mtim.tv_nsec, from.st_mtim.tv_nsec) << entry;
    EXPECT_EQ(to.st_uid, from.st_uid) << entry;
  }
  EXPECT_EQ(readFile(copy + "/file"), "file bytes");
  EXPECT_EQ(readFile(copy + "/sub/inner"), "inner bytes");
  EXPECT_EQ(std::filesystem::read_symlink(copy + "/link"), "file");
}

TEST(TreeCopy, CopyItemKeepsModesLinksTimesAndAsRootOwners) {
  TemporaryFolder tree;
  buildSource(tree);
  for (const char* entry : {"src/file", "src/sub", "src/link"}) {
    if (geteuid() == 0) {
      ASSERT_EQ(lchown((tree / entry).c_str(), otherUser(), otherUser()), 0);
    }
  }
  int error = 0;
  ASSERT_TRUE(files::copyItem(tree / "src", tree / "copy", error)) << error;
  expectSameTree(tree, tree / "copy");
  EXPECT_EQ(statOf(tree / "copy").st_mode, statOf(tree / "src").st_mode);
}

TEST(TreeCopy, CopyItemRefusesAnExistingDestinationAndNeverWritesThroughALink) {
  TemporaryFolder tree;
  TemporaryFolder outside;
  buildSource(tree);
  writeFile(tree / "taken", "old");
  ASSERT_EQ(symlink((outside / "target").c_str(), (tree / "planted").c_str()), 0);
  int error = 0;
  EXPECT_FALSE(files::copyItem(tree / "src/file", tree / "taken", error));
  EXPECT_EQ(error, EEXIST);
  EXPECT_EQ(readFile(tree / "taken"), "old");
  EXPECT_FALSE(files::copyItem(tree / "src/file", tree / "planted", error));
  EXPECT_FALSE(existsNoFollow(outside / "target"));
}

TEST(TreeCopy, MergeReplacesEntriesAndMergesFolders) {
  TemporaryFolder tree;
  TemporaryFolder outside;
  buildSource(tree);
  std::filesystem::create_directories(tree / "dst/sub");
  writeFile(tree / "dst/sub/kept", "kept");
  writeFile(tree / "dst/sub/inner", "old inner");
  writeFile(tree / "dst/unrelated", "unrelated");
  std::filesystem::create_directories(tree / "dst/file/was-a-folder");
  writeFile(outside / "target", "outside");
  ASSERT_EQ(symlink((outside / "target").c_str(), (tree / "dst/run.sh").c_str()), 0);

  int error = 0;
  ASSERT_TRUE(files::mergeFolder(tree / "src", tree / "dst", error)) << error;
  expectSameTree(tree, tree / "dst");
  EXPECT_EQ(readFile(tree / "dst/sub/kept"), "kept");
  EXPECT_EQ(readFile(tree / "dst/unrelated"), "unrelated");
  EXPECT_EQ(readFile(outside / "target"), "outside");  // the planted link was replaced
  EXPECT_EQ(statOf(tree / "dst").st_mode, statOf(tree / "src").st_mode);
  ASSERT_EQ(symlink(outside.path().c_str(), (tree / "link-dst").c_str()), 0);
  EXPECT_FALSE(files::mergeFolder(tree / "src", tree / "link-dst", error)) << "not through a link";
  EXPECT_FALSE(files::mergeFolder(tree / "src", tree / "missing", error));
  EXPECT_FALSE(existsNoFollow(outside / "file"));
}

TEST(TreeCopy, UnsupportedKindsFailTheCopy) {
  TemporaryFolder tree;
  std::filesystem::create_directories(tree / "src");
  std::filesystem::create_directories(tree / "dst");
  // A socket is neither file, folder, link nor FIFO.
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::string socketPath = tree / "src/socket";
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socketPath.c_str());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(fd);
  int error = 0;
  EXPECT_FALSE(files::mergeFolder(tree / "src", tree / "dst", error));
  EXPECT_EQ(error, ENOTSUP);
}

}  // namespace
