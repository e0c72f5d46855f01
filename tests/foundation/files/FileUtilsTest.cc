#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tuple>

#include "foundation/files/FileUtils.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/ElfImage.h"
#include "tests/support/Environment.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/TemporaryFolder.h"

using namespace wendtest;

namespace {

TEST(FileUtilsPaths, AppendParentLastComponentAndExtension) {
  const std::tuple<const char*, const char*, bool, const char*> cases[] = {
      {"a", "b", true, "a/b"}, {"a/", "/b", true, "a/b"},   {"a", "///b", true, "a/b"},
      {"/", "b", true, "/b"},  {"a", "b/c", true, "a/b/c"}, {"", "b", false, ""},
      {"a", "", false, "a"},
  };
  for (const auto& [given, component, ok, result] : cases) {
    std::string appended = given;
    EXPECT_EQ(FileUtils::appendPathComponent(appended, component), ok) << given;
    EXPECT_EQ(appended, result);
  }
  std::string path = "/a/b.app/", none;
  EXPECT_TRUE(FileUtils::getParentDirectory(path));
  EXPECT_EQ(path, "/a");
  EXPECT_FALSE(FileUtils::getParentDirectory(none));

  std::string name = "kept";  // no slash: the name stays as it was
  const std::pair<const char*, const char*> lasts[] = {
      {"no-slash", "kept"}, {"/a/b.log", "b.log"}, {"/a/", ""}};
  for (const auto& [given, last] : lasts) {
    EXPECT_TRUE(FileUtils::getLastPathComponent(given, name));
    EXPECT_EQ(name, last) << given;
  }

  const std::pair<const char*, const char*> extensions[] = {
      {"/x/file.txt", "/x/file.meta"},
      {"/x/archive.tar.gz", "/x/archive.tar.meta"},
      {"/x/noext", "/x/noext.meta"},
      {"/dir.d/noext", "/dir.d/noext.meta"},  // a dot in a folder name is no extension
      {"name.", "name.meta"}};
  for (const auto& [given, result] : extensions)
    EXPECT_EQ(FileUtils::replaceExtension(given, ".meta"), result);
}

TEST(FileUtilsQueries, ExistenceKindSizeAndSpecialFolders) {
  TemporaryFolder tree;
  writeFile(tree / "file", "12345");
  symlink("missing-target", (tree / "dangling").c_str());
  bool isDirectory = true;
  EXPECT_TRUE(FileUtils::fileExistsAtPathIsDirectory(tree / "file", isDirectory));
  EXPECT_FALSE(isDirectory);
  EXPECT_TRUE(FileUtils::fileExistsAtPathIsDirectory(tree.path(), isDirectory));
  EXPECT_TRUE(isDirectory);
  EXPECT_FALSE(FileUtils::fileExistsAtPathIsDirectory(tree / "missing", isDirectory));
  EXPECT_FALSE(isDirectory);
  EXPECT_FALSE(FileUtils::fileExistsAtPath(tree / "dangling"));

  int64_t size = -1;
  EXPECT_TRUE(FileUtils::getFileSize(tree / "file", size));
  EXPECT_EQ(size, 5);
  size = -1;
  EXPECT_FALSE(FileUtils::getFileSize(tree / "missing", size));
  EXPECT_EQ(size, 0);
  ScopedEnv root("WEND_ROOT", tree.path());  // special folders come from the platform's table
  std::string path;
  EXPECT_TRUE(FileUtils::getSpecialFolderPath(29, path));
  EXPECT_EQ(path, tree / "var/lib/Orvel/Hearth");
}

TEST(FileUtilsCreate, CreatesMissingParentsWithDefaultsAndKeepsExisting) {
  TemporaryFolder tree;
  mode_t old = umask(022);
  EXPECT_TRUE(FileUtils::createDirectoryAtPath(tree / "a/b/c"));
  EXPECT_TRUE(FileUtils::createDirectoryAtPath(tree / "a/b/c/"));  // already there
  umask(old);
  EXPECT_EQ(statOf(tree / "a/b").st_mode & 07777, 0755u);
  EXPECT_EQ(statOf(tree / "a/b/c").st_uid, geteuid());
}

TEST(FileUtilsCreate, WithPermissionsNewFoldersTakeTheAncestorsOwner) {
  if (geteuid() != 0) GTEST_SKIP() << "giving folders away needs root";
  TemporaryFolder tree;
  std::filesystem::create_directories(tree / "theirs");
  ASSERT_EQ(chown((tree / "theirs").c_str(), otherUser(), otherUser()), 0);
  wendtest::CapturingLogger logger;
  ASSERT_TRUE(FileUtils::createDirectoryWithPermissions(tree / "theirs/x/y", &logger, true));
  for (const char* folder : {"theirs/x", "theirs/x/y"}) {
    EXPECT_EQ(statOf(tree / folder).st_uid, otherUser()) << folder;
    EXPECT_EQ(statOf(tree / folder).st_mode & 07777, 0775u) << folder;
  }
  EXPECT_TRUE(logger.has(pando::kLogInfo, " shouldSetPermission is true, parent folder found  =  " +
                                              (tree / "theirs") + " "));
  EXPECT_TRUE(logger.has(pando::kLogInfo,
                         "shouldSetPermission is true,owner =" + std::to_string(otherUser()) +
                             ",group =" + std::to_string(otherUser())));
}

TEST(FileUtilsCreate, FailuresAreLoggedAndLinksBelowTheAncestorRefused) {
  TemporaryFolder tree;
  TemporaryFolder outside;
  writeFile(tree / "file", "in the way");
  ASSERT_EQ(symlink((outside / "gone").c_str(), (tree / "dangling").c_str()), 0);
  wendtest::CapturingLogger logger;
  EXPECT_FALSE(FileUtils::createDirectoryWithPermissions(tree / "file", &logger, false));
  EXPECT_FALSE(FileUtils::createDirectoryWithPermissions(tree / "file/sub", &logger, false));
  EXPECT_FALSE(FileUtils::createDirectoryWithPermissions(tree / "dangling/sub", &logger, false));
  EXPECT_FALSE(FileUtils::createDirectoryAtPath(""));
  EXPECT_FALSE(existsNoFollow(outside / "gone"));
  EXPECT_TRUE(logger.has(pando::kLogError,
                         "Failed to create directory at path ex " + (tree / "file") + " "));
  EXPECT_EQ(logger.records().size(), 3u);
}

TEST(FileUtilsDelete, NonRecursiveLeavesAFolderWithContent) {
  TemporaryFolder tree;
  std::filesystem::create_directories(tree / "full");
  writeFile(tree / "full/one", "1");
  wendtest::CapturingLogger logger;
  EXPECT_FALSE(FileUtils::deleteDirectory(tree / "full", false, &logger, true));
  EXPECT_EQ(readFile(tree / "full/one"), "1");
  EXPECT_TRUE(logger.records().empty());

  std::filesystem::create_directories(tree / "empty");
  EXPECT_TRUE(FileUtils::deleteDirectory(tree / "empty", false, &logger, false));
  EXPECT_FALSE(existsNoFollow(tree / "empty"));
  EXPECT_FALSE(FileUtils::deleteDirectory("", true, &logger, true));
}

TEST(FileUtilsDelete, RecursiveRemovesEverythingButWhatLinksPointTo) {
  TemporaryFolder tree;
  TemporaryFolder outside;
  writeFile(outside / "precious", "keep");
  std::filesystem::create_directories(tree / "full/sub/ro");
  writeFile(tree / "full/sub/ro/one", "1");
  // Root empties a folder it may not write all the same; anyone else's removal would stop there.
  if (geteuid() == 0) chmod((tree / "full/sub/ro").c_str(), 0500);
  ASSERT_EQ(symlink(outside.path().c_str(), (tree / "full/sub/out").c_str()), 0);
  ASSERT_EQ(symlink(outside.path().c_str(), (tree / "link-at-top").c_str()), 0);
  wendtest::CapturingLogger logger;
  EXPECT_TRUE(FileUtils::deleteDirectory(tree / "full", true, &logger, true));
  EXPECT_TRUE(FileUtils::deleteDirectory(tree / "link-at-top/", true, &logger, false));
  EXPECT_FALSE(existsNoFollow(tree / "full"));
  EXPECT_FALSE(existsNoFollow(tree / "link-at-top"));
  EXPECT_EQ(readFile(outside / "precious"), "keep");
  EXPECT_FALSE(FileUtils::deleteDirectory(tree / ".", true, &logger, false));
  EXPECT_TRUE(logger.has(pando::kLogInfo, "Successfully deleted directory from path: " +
                                              (tree / "full") + ". Recursive: 1"));

  EXPECT_FALSE(FileUtils::deleteDirectory(tree / "missing", true, &logger, false));
  EXPECT_TRUE(
      logger.has(pando::kLogWarn, "Failed to remove file. Error: No such file or directory"));
  EXPECT_TRUE(FileUtils::deleteFile(tree / "missing")) << "nothing there is no failure";
  std::filesystem::create_directories(tree / "folder/sub");
  EXPECT_TRUE(FileUtils::deleteFile(tree / "folder"));
  EXPECT_FALSE(existsNoFollow(tree / "folder"));
}

TEST(FileUtilsCopy, CopyFileCreatesTheFolderAndReplacesOnlyWhenAsked) {
  TemporaryFolder tree;
  writeFile(tree / "src", "new");
  wendtest::CapturingLogger logger;
  ASSERT_TRUE(FileUtils::copyFile(tree / "src", tree / "deep/er/dst", false, &logger));
  EXPECT_EQ(readFile(tree / "deep/er/dst"), "new");

  writeFile(tree / "src", "newer");
  EXPECT_FALSE(FileUtils::copyFile(tree / "src", tree / "deep/er/dst", false, &logger));
  EXPECT_TRUE(logger.has(pando::kLogError, "Error Failed to copy src file '" + (tree / "src") +
                                               "' to dst file '" + (tree / "deep/er/dst") + "'."));
  EXPECT_EQ(readFile(tree / "deep/er/dst"), "new");
  EXPECT_TRUE(FileUtils::copyFile(tree / "src", tree / "deep/er/dst", true, &logger));
  EXPECT_EQ(readFile(tree / "deep/er/dst"), "newer");
}

TEST(FileUtilsCopy, ReplaceFailsWhenTheDestinationCannotBeDeleted) {
  TemporaryFolder tree;
  std::filesystem::create_directories(tree / "locked");
  writeFile(tree / "src", "new");
  writeFile(tree / "locked/dst", "old");
  chmod(tree.path().c_str(), 0755);
  chmod((tree / "src").c_str(), 0644);
  chmod((tree / "locked").c_str(), 0555);
  auto check = [&] {
    CapturingLogger logger;
    bool copied = FileUtils::copyFile(tree / "src", tree / "locked/dst", true, &logger);
    return !copied && logger.has(pando::kLogError, "Unable to delete destination file '" +
                                                       (tree / "locked/dst") + "'.");
  };
  EXPECT_TRUE(geteuid() == 0 ? asOtherUser(check) : check());
  EXPECT_EQ(readFile(tree / "locked/dst"), "old");
}

// Modes, links and merging: TreeCopyTest.
TEST(FileUtilsCopy, DittoCopiesFolderTreesOnlyAndMakesTheDestinationsParents) {
  TemporaryFolder tree;
  std::filesystem::create_directories(tree / "src/sub");
  writeFile(tree / "src/sub/file", "x");
  writeFile(tree / "plain", "not a folder");
  EXPECT_FALSE(FileUtils::copyPathWithDitto(tree / "plain", tree / "out1"));
  EXPECT_FALSE(FileUtils::copyPathWithDitto(tree / "missing", tree / "out2"));
  EXPECT_FALSE(existsNoFollow(tree / "out1"));
  ASSERT_TRUE(FileUtils::copyPathWithDitto(tree / "src", tree / "new/parents/out"));
  EXPECT_EQ(readFile(tree / "new/parents/out/sub/file"), "x");
}

TEST(FileUtilsListing, ExtensionMatchesNeedAStemAndRecursionIsOptional) {
  TemporaryFolder tree;
  std::filesystem::create_directories(tree / "sub/deeper");
  std::filesystem::create_directories(tree / "folder.log");
  for (const char* file : {"x.log", ".log", "b.log", "x.logs", "sub/y.log", "sub/deeper/z.log"})
    writeFile(tree / file, "");
  TemporaryFolder outside;
  writeFile(outside / "o.log", "");
  symlink(outside.path().c_str(), (tree / "sub/linked").c_str());

  std::vector<std::string> flat = {"earlier"};
  EXPECT_TRUE(FileUtils::getFilesWithExtension(tree.path(), "log", flat, false));
  EXPECT_EQ(flat, (std::vector<std::string>{"earlier", tree / "b.log", tree / "x.log"}));

  std::vector<std::string> deep;
  EXPECT_TRUE(FileUtils::getFilesWithExtension(tree.path(), ".log", deep, true));
  EXPECT_EQ(deep, (std::vector<std::string>{tree / "b.log", tree / "folder.log",
                                            tree / "sub/deeper/z.log", tree / "sub/y.log",
                                            tree / "x.log"}));

  std::vector<std::string> none;
  EXPECT_TRUE(FileUtils::getFilesWithExtension(tree / "missing", "log", none, true));
  EXPECT_TRUE(none.empty());
}

// Atomicity, links and modes of writes: tests/platform/files/AtomicFileTest.
TEST(FileUtilsReadWrite, WritesWholeFilesAndReadsUtf8FirstThenMarkedUtf16) {
  TemporaryFolder tree;
  EXPECT_TRUE(FileUtils::CreateFileWithContentAtPath(tree / "f", "first"));
  EXPECT_TRUE(FileUtils::CreateFileWithContentAtPath(tree / "f", "second"));
  EXPECT_EQ(readFile(tree / "f"), "second");
  EXPECT_FALSE(FileUtils::CreateFileWithContentAtPath("", "x"));
  const std::tuple<const char*, std::string, const char*> cases[] = {
      // null text: unreadable
      {"utf8", "gr\xC3\xBC\xC3\x9F", "gr\xC3\xBC\xC3\x9F"},
      {"utf16le", std::string("\xFF\xFEh\0i\0", 6), "hi"},
      {"utf16be", std::string("\xFE\xFF\0h\x20\xAC", 6), "h\xE2\x82\xAC"},
      {"empty", "", ""},
      {"neither", "\xFF\xFF\xFF", nullptr},
      // Read as big-endian UTF-16 this was CJK text.
      {"unmarked", "\xC3\x28\xE4\xBD", nullptr},
  };
  for (const auto& [name, bytes, expected] : cases) {
    writeFile(tree / name, bytes);
    std::string text = "kept";
    wendtest::CapturingLogger logger;
    EXPECT_EQ(FileUtils::readFileContents(tree / name, text, FileUtils::kReadFileContentsMaxBytes,
                                          &logger),
              expected != nullptr)
        << name;
    EXPECT_EQ(text, expected ? expected : "kept") << name;
    EXPECT_EQ(logger.has(pando::kLogError,
                         "File " + (tree / name) + " is neither UTF-8 nor marked UTF-16, not read"),
              expected == nullptr)
        << name;
  }
  std::string text = "kept";
  EXPECT_FALSE(FileUtils::readFileContents(tree / "missing", text));
  EXPECT_FALSE(FileUtils::readFileContents(tree / "utf8", text, 5)) << "over the caller's bound";
  EXPECT_EQ(text, "kept");
}

// A FIFO hung both readers, /dev/zero ended readFileContents in bad_alloc.
TEST(FileUtilsRead, WholeFileReadersRefuseWhatIsNoBoundedRegularFile) {
  HostileFiles hostile(FileUtils::kReadFileContentsMaxBytes + 1);
  for (const std::string& path : hostile.all()) {
    std::string text = "kept";
    EXPECT_FALSE(FileUtils::readFileContents(path, text)) << path;
    EXPECT_EQ(text, "kept");
    StringUtils::VersionNumbers version = {9, 9, 9, 9};
    EXPECT_FALSE(FileUtils::GetDynamicLibraryVersion(path, version)) << path;
  }
}

std::string infoPlist(const std::string& version) {
  return "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleVersion</key>"
         "<string>" +
         version + "</string></dict></plist>";
}

TEST(FileUtilsLibraryVersion, ReadsTheEmbeddedVersionOrSaysWhyNotAndLeavesTheVersion) {
  TemporaryFolder tree;
  writeFile(tree / "OrvelPIM.dylib", ElfImage("__info_plist", infoPlist("4.1.1.207")).bytes);
  writeFile(tree / "noversion.dylib", ElfImage("__info_plist", "<plist><dict/></plist>").bytes);
  writeFile(tree / "text.dylib", "not an ELF file at all");
  wendtest::CapturingLogger logger;
  StringUtils::VersionNumbers version = {9, 9, 9, 9};
  for (const char* name : {"noversion.dylib", "text.dylib"}) {
    EXPECT_FALSE(FileUtils::GetDynamicLibraryVersion(tree / name, version, &logger)) << name;
    EXPECT_TRUE(logger.has(pando::kLogError,
                           "Error Failed to get the dylib " + (tree / name) + "  version"));
  }
  EXPECT_FALSE(FileUtils::GetDynamicLibraryVersion(tree / "missing.dylib", version, &logger));
  EXPECT_TRUE(logger.has(
      pando::kLogError,
      "Error Failed open the dylib " + (tree / "missing.dylib") + " while getting its version"));
  EXPECT_EQ(version, (StringUtils::VersionNumbers{9, 9, 9, 9}));
  ASSERT_TRUE(FileUtils::GetDynamicLibraryVersion(tree / "OrvelPIM.dylib", version, &logger));
  EXPECT_EQ(version, (StringUtils::VersionNumbers{4, 1, 1, 207}));
  EXPECT_TRUE(logger.has(pando::kLogInfo, "Version for the dylib " + (tree / "OrvelPIM.dylib") +
                                              " successfully obtained"));
}

// The section as the build adds it to a real shared object.
TEST(FileUtilsLibraryVersion, ReadsASectionThatObjcopyAdded) {
  TemporaryFolder tree;
  writeFile(tree / "Info.plist", infoPlist("3.2.1.0"));
  const std::string section = "__info_plist=" + (tree / "Info.plist");
  const std::string output = tree / "Versioned.dylib";
  const int code = waitChild(forkChild([&] {
    execlp("objcopy", "objcopy", "--add-section", section.c_str(), "/proc/self/exe", output.c_str(),
           nullptr);
    return 127;
  }));
  if (code == 127) GTEST_SKIP() << "objcopy is not installed";
  ASSERT_EQ(code, 0);
  StringUtils::VersionNumbers version = {0, 0, 0, 0};
  ASSERT_TRUE(FileUtils::GetDynamicLibraryVersion(output, version));
  EXPECT_EQ(version, (StringUtils::VersionNumbers{3, 2, 1, 0}));
}

}  // namespace
