#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/xml/XMLFileIO.h"
#include "tests/support/TemporaryFolder.h"

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

mode_t modeOf(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(stat(path.c_str(), &status), 0);
  return status.st_mode & 07777;
}

size_t entriesIn(const std::string& folder) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                           std::filesystem::directory_iterator()));
}

TEST(XMLFileIOTest, ReadsTheWholeFile) {
  wendtest::TemporaryFolder folder;
  const std::string content(200000, 'x');
  std::ofstream(folder / "f") << content;
  std::string bytes;
  std::string error;
  ASSERT_TRUE(XMLFileIO::readWholeFile(folder / "f", content.size(), bytes, error)) << error;
  EXPECT_EQ(bytes, content);
}

TEST(XMLFileIOTest, RefusesAFileOverTheBoundAndLeavesTheOutputAlone) {
  wendtest::TemporaryFolder folder;
  std::ofstream(folder / "f") << "12345";
  std::string bytes = "kept";
  std::string error;
  EXPECT_FALSE(XMLFileIO::readWholeFile(folder / "f", 4, bytes, error));
  EXPECT_EQ(error, "the file is larger than 4 bytes");
  EXPECT_EQ(bytes, "kept");
}

TEST(XMLFileIOTest, RefusesPipesAndFoldersWithoutWaiting) {
  wendtest::TemporaryFolder folder;
  const std::string pipe = folder / "pipe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  std::string bytes;
  std::string error;
  EXPECT_FALSE(XMLFileIO::readWholeFile(pipe, 100, bytes, error));
  EXPECT_EQ(error, "not a regular file");
  EXPECT_FALSE(XMLFileIO::readWholeFile(folder.path(), 100, bytes, error));
}

TEST(XMLFileIOTest, ReplaceCreatesAFileAndLeavesNothingElse) {
  wendtest::TemporaryFolder folder;
  const std::string path = folder / "new.xml";
  ASSERT_TRUE(XMLFileIO::replaceFileAtomically(path, "<a/>\n"));
  EXPECT_EQ(readFile(path), "<a/>\n");
  EXPECT_EQ(modeOf(path), 0644u);
  EXPECT_EQ(entriesIn(folder.path()), 1u) << "no temporary file is left behind";
}

TEST(XMLFileIOTest, ReplaceKeepsTheModeOfTheReplacedFile) {
  wendtest::TemporaryFolder folder;
  const std::string path = folder / "old.xml";
  std::ofstream(path) << "a much longer previous content";
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(XMLFileIO::replaceFileAtomically(path, "new"));
  EXPECT_EQ(readFile(path), "new");
  EXPECT_EQ(modeOf(path), 0640u);
}

TEST(XMLFileIOTest, ReplaceSwapsALinkInsteadOfWritingThroughIt) {
  wendtest::TemporaryFolder folder;
  const std::string victim = folder / "victim";
  const std::string path = folder / "out.xml";
  std::ofstream(victim) << "untouched";
  ASSERT_EQ(symlink(victim.c_str(), path.c_str()), 0);
  ASSERT_TRUE(XMLFileIO::replaceFileAtomically(path, "written"));
  EXPECT_EQ(readFile(victim), "untouched");
  EXPECT_FALSE(std::filesystem::is_symlink(path));
  EXPECT_EQ(readFile(path), "written");
}

TEST(XMLFileIOTest, ReplaceFailsCleanlyWhereItCannotWrite) {
  wendtest::TemporaryFolder folder;
  EXPECT_FALSE(XMLFileIO::replaceFileAtomically(folder / "missing/out.xml", "x"));
  EXPECT_FALSE(XMLFileIO::replaceFileAtomically("", "x"));
  ASSERT_TRUE(std::filesystem::create_directory(folder / "taken"));
  EXPECT_FALSE(XMLFileIO::replaceFileAtomically(folder / "taken", "x"));
  EXPECT_EQ(entriesIn(folder.path()), 1u) << "the temporary file is removed after a failure";
}

}  // namespace
