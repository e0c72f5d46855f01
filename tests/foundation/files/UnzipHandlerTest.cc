#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "foundation/files/UnzipHandler.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ZipWriter.h"
#include "tools/testserver/Gzip.h"

using namespace wendtest;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kOwnModes = UnzipHandler::kEntryMode;

uint32_t modeOf(const std::string& path) {
  struct stat info {};
  lstat(path.c_str(), &info);
  return info.st_mode & 07777;
}

uint32_t crcOf(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string be32(uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
          static_cast<char>(value >> 8), static_cast<char>(value)};
}

const std::string kFinderInfo = "TEXTttxt" + std::string(24, '\0');

// AppleDouble data as macOS writes them: Finder info with one extended attribute
// ("com.example.tag" = "hello") behind it, and a resource fork "RSRC". `shift` moves the
// attribute's data offset, to make it point outside the data.
std::string appleDouble(uint32_t shift = 0) {
  const std::string name = std::string("com.example.tag") + '\0';  // 16 bytes, entry 27 -> 28
  const uint32_t attributeData = 84 + 36 + 28, resourceFork = attributeData + 5;
  std::string bytes = be32(0x00051607) + be32(0x00020000) + "Mac OS X        " + std::string{0, 2} +
                      be32(9) + be32(50) + be32(resourceFork - 50) + be32(2) + be32(resourceFork) +
                      be32(4) + kFinderInfo + std::string(2, '\0') + be32(0x41545452) +
                      std::string(30, '\0') + std::string{0, 1};
  bytes += be32(attributeData + shift) + be32(5) + std::string(2, '\0') + '\x10' + name + '\0';
  return bytes + "hello" + "RSRC";
}

std::string xattrOf(const std::string& path, const std::string& name) {
  char value[256];
  ssize_t size = getxattr(path.c_str(), name.c_str(), value, sizeof value);
  return size < 0 ? "<none>" : std::string(value, static_cast<size_t>(size));
}

bool userXattrsWork(const std::string& folder) {
  const std::string probe = folder + "/probe";
  writeFile(probe, "");
  bool works = setxattr(probe.c_str(), "user.probe", "1", 1, 0) == 0;
  unlink(probe.c_str());
  return works;
}

class UnzipHandlerTest : public testing::Test {
 protected:
  UnzipHandlerTest() {
    fs::create_directories(tree / "outside");
    fs::create_directories(tree / "tmp");
    settings.retryDelay = std::chrono::milliseconds(0);
    settings.temporaryTemplate = tree / "tmp/orvzip.temp.XXXXXX";
  }

  std::string archive() const { return tree / "archive.zip"; }
  std::string dest() const { return tree / "dest"; }
  bool extract(uint32_t mode = kOwnModes, bool junkPaths = false) {
    UnzipHandler handler(nullptr, &logger, settings);
    return handler.extract(archive().c_str(), dest().c_str(), junkPaths, mode);
  }
  bool emptyFolder(const std::string& path) const { return fs::is_empty(path); }
  size_t linesAt(int level, const std::string& prefix) const {
    size_t count = 0;
    for (const Record& record : logger.records()) {
      count += record.level == level && record.message.starts_with(prefix);
    }
    return count;
  }

  TemporaryFolder tree;
  CapturingLogger logger;
  files::UnzipSettings settings;
};

TEST_F(UnzipHandlerTest, ExtractsFilesFoldersModesAndLinksLast) {
  const mode_t mask = umask(022);
  umask(mask);
  const std::string part(200, 'n');
  const std::string longName = part + "/" + part + "/" + part + "/" + part + "/" + part + "/file";
  ZipWriter zip(archive());
  zip.link("app/current", "lib")  // before its target exists: links come last
      .folder("app/", 040750)
      .file("app/run.sh", "#!/bin/sh\n", 0100755)
      .file("app\\lib\\data.txt", "data", 0100640)
      .file("app/plain.txt", "plain", 0)
      .file(longName, "deep");  // long names are not cut
  ASSERT_TRUE(zip.close());
  ASSERT_TRUE(extract());
  EXPECT_EQ(readFile(dest() + "/app/run.sh"), "#!/bin/sh\n");
  EXPECT_EQ(modeOf(dest() + "/app/run.sh"), 0755u);
  EXPECT_EQ(readFile(dest() + "/app/lib/data.txt"), "data");
  EXPECT_EQ(modeOf(dest() + "/app/lib/data.txt"), 0640u);
  EXPECT_EQ(modeOf(dest() + "/app"), 0750u);
  EXPECT_EQ(modeOf(dest() + "/app/plain.txt"), 0666u & ~mask);
  EXPECT_EQ(fs::read_symlink(dest() + "/app/current"), "lib");
  EXPECT_EQ(readFile(dest() + "/" + longName), "deep");

  // The mode argument replaces the entries' own; extracting again over the first result works.
  ASSERT_TRUE(extract(0700));
  EXPECT_EQ(modeOf(dest() + "/app/run.sh"), 0700u);
  EXPECT_EQ(modeOf(dest() + "/app/lib/data.txt"), 0700u);
  EXPECT_EQ(fs::read_symlink(dest() + "/app/current"), "lib");
}

TEST_F(UnzipHandlerTest, JunkPathsPutEveryFileInTheDestination) {
  ZipWriter zip(archive());
  zip.file("dir/sub/file.txt", "f").file("__MACOSX/dir/._x", "not AppleDouble any more");
  ASSERT_TRUE(zip.close());
  ASSERT_TRUE(extract(kOwnModes, true));
  EXPECT_EQ(readFile(dest() + "/file.txt"), "f");
  EXPECT_EQ(readFile(dest() + "/._x"), "not AppleDouble any more");
  EXPECT_FALSE(existsNoFollow(dest() + "/dir"));
}

TEST_F(UnzipHandlerTest, AppleDoubleEntriesBecomeAttributesOfTheirFiles) {
  ZipWriter zip(archive());
  zip.file("doc.txt", "text")
      .folder("__MACOSX/")
      .folder("__MACOSX/sub/")
      .file("__MACOSX/._doc.txt", appleDouble())
      .file("__MACOSX/._lonely", appleDouble())
      .file("__MACOSX/.DS_Store", "bookkeeping");
  ASSERT_TRUE(zip.close());
  ASSERT_TRUE(extract());
  EXPECT_EQ(readFile(dest() + "/doc.txt"), "text");
  EXPECT_EQ(readFile(dest() + "/lonely"), "");
  EXPECT_TRUE(isFolder(dest() + "/__MACOSX/sub"));
  EXPECT_FALSE(existsNoFollow(dest() + "/__MACOSX/._doc.txt"));
  EXPECT_FALSE(existsNoFollow(dest() + "/__MACOSX/.DS_Store"));
  EXPECT_TRUE(emptyFolder(tree / "tmp"));
  if (!userXattrsWork(tree.path())) GTEST_SKIP() << "no user extended attributes here";
  for (const char* file : {"/doc.txt", "/lonely"}) {
    EXPECT_EQ(xattrOf(dest() + file, "user.com.example.tag"), "hello") << file;
    EXPECT_EQ(xattrOf(dest() + file, "user.com.apple.FinderInfo"), kFinderInfo) << file;
    EXPECT_EQ(xattrOf(dest() + file, "user.com.apple.ResourceFork"), "RSRC") << file;
  }
}

// Each case builds a hostile archive in `zip`; `outside` is a folder beside the destination.
struct HostileCase {
  const char* name;
  std::function<void(ZipWriter& zip, const std::string& outside)> build;
  bool truncate = false;
};

// Which names climb out is ZipEntryNameTest's; here every kind of entry is checked, and links.
TEST_F(UnzipHandlerTest, HostileArchivesFailAndWriteNothingOutsideTheDestination) {
  const HostileCase cases[] = {
      {"DotDotFile", [](ZipWriter& z, auto&) { z.file("../evil", "x"); }},
      {"AbsoluteOutside", [](ZipWriter& z, const std::string& out) { z.file(out + "/abs", "x"); }},
      {"DotDotFolder", [](ZipWriter& z, auto&) { z.folder("../evil/"); }},
      {"DotDotLink", [](ZipWriter& z, auto&) { z.link("../evil", "x"); }},
      {"LinkTargetOverTheBound",
       [](ZipWriter& z, auto&) { z.link("long", std::string(4096, 't')); }},
      {"DotDotAppleDouble", [](ZipWriter& z, auto&) { z.file("__MACOSX/._..", appleDouble()); }},
      {"FileThroughArchiveLink",
       [](ZipWriter& z, const std::string& out) { z.link("escape", out).file("escape/x", "x"); }},
      {"FolderThroughArchiveLink",
       [](ZipWriter& z, const std::string& out) { z.link("escape", out).folder("escape/sub/"); }},
      {"AppleDoubleThroughArchiveLink",
       [](ZipWriter& z, const std::string& out) {
         z.link("escape", out).file("__MACOSX/escape/._x", appleDouble());
       }},
      {"LinkOverExtractedFolder",
       [](ZipWriter& z, const std::string& out) { z.file("escape/x", "x").link("escape", out); }},
      {"AppleDoubleOffsetOutside",
       [](ZipWriter& z, auto&) { z.file("__MACOSX/._first.txt", appleDouble(4096)); }},
      {"PatchedCrc",
       [](ZipWriter& z, auto&) { z.stored("bad.txt", "hello", 5, crcOf("hello") ^ 1); }},
      {"StreamShorterThanDeclared",
       [](ZipWriter& z, auto&) {
         z.stored("short.txt", testserver::deflateRaw("hello"), 10, crcOf("hello"), Z_DEFLATED);
       }},
      {"FileNamedTwice", [](ZipWriter& z, auto&) { z.file("first.txt", "again"); }},
      {"LinkOverAnEarlierFile",
       [](ZipWriter& z, const std::string& out) { z.link("first.txt", out); }},
      {"Truncated", [](ZipWriter& z, auto&) { z.file("more.txt", "more"); }, true}};
  for (const HostileCase& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dest());
    logger.clear();
    {
      ZipWriter zip(archive());
      zip.file("first.txt", "fine");
      c.build(zip, tree / "outside");
      ASSERT_TRUE(zip.close());
    }
    if (c.truncate) fs::resize_file(archive(), fs::file_size(archive()) / 2);
    EXPECT_FALSE(extract());
    // Past the opening of the archive, no failure is silent.
    if (!c.truncate) {
      EXPECT_GE(linesAt(pando::kLogError, ""), 1u);
    }
    EXPECT_TRUE(emptyFolder(tree / "outside"));
    EXPECT_TRUE(emptyFolder(tree / "tmp"));
    EXPECT_FALSE(existsNoFollow(tree / "evil"));
  }
}

TEST_F(UnzipHandlerTest, LinksPlantedInTheDestinationAreNeverFollowed) {
  fs::create_directories(dest());
  writeFile(tree / "outside/victim", "keep");
  writeFile(tree / "outside/hardvictim", "keep");
  symlink((tree / "outside").c_str(), (dest() + "/planted").c_str());
  symlink((tree / "outside/victim").c_str(), (dest() + "/file").c_str());
  link((tree / "outside/hardvictim").c_str(), (dest() + "/hard").c_str());
  {
    ZipWriter zip(archive());
    zip.file("file", "new").file("hard", "new");
    ASSERT_TRUE(zip.close());
  }
  ASSERT_TRUE(extract());
  EXPECT_EQ(readFile(dest() + "/file"), "new");
  EXPECT_EQ(readFile(dest() + "/hard"), "new");
  EXPECT_EQ(readFile(tree / "outside/victim"), "keep");
  EXPECT_EQ(readFile(tree / "outside/hardvictim"), "keep");
  {
    ZipWriter zip(archive());
    zip.file("planted/x", "x");
    ASSERT_TRUE(zip.close());
  }
  EXPECT_FALSE(extract());
  EXPECT_FALSE(existsNoFollow(tree / "outside/x"));
}

// Root hands out no set-id programs and nothing that others may change, whoever made the archive;
// another user extracting for themselves gets the bits as given.
TEST_F(UnzipHandlerTest, RootNeverAppliesSetIdOrWriteForOthers) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  {
    ZipWriter zip(archive());
    zip.folder("open/", 040777)
        .folder("shared/", 041777)
        .file("suid", "x", 0104755)
        .file("sgid", "x", 0102755)
        .file("anyone", "x", 0100666)
        .file("nomode", "x", 0);  // created as the umask allows
    ASSERT_TRUE(zip.close());
  }
  struct Row {
    const char* path;
    uint32_t asRoot, asUser;
  } rows[] = {{"/open", 0775, 0777},  {"/shared", 01775, 01777}, {"/suid", 0755, 04755},
              {"/sgid", 0755, 02755}, {"/anyone", 0664, 0666},   {"/nomode", 0664, 0666}};
  const mode_t mask = umask(0);
  const bool extracted = extract();
  umask(mask);
  ASSERT_TRUE(extracted);
  for (const Row& row : rows) EXPECT_EQ(modeOf(dest() + row.path), row.asRoot) << row.path;

  fs::remove_all(dest());
  ASSERT_EQ(chown(tree.path().c_str(), otherUser(), otherUser()), 0);
  ASSERT_EQ(chmod(archive().c_str(), 0644), 0);
  ASSERT_TRUE(asOtherUser([&] {
    umask(0);
    return extract();
  }));
  for (const Row& row : rows) EXPECT_EQ(modeOf(dest() + row.path), row.asUser) << row.path;
}

// A link in the destination where an AppleDouble entry's file would be is left as it is: its
// target is not touched and the link is not swapped for a file.
TEST_F(UnzipHandlerTest, AppleDoubleDataForALinkInTheDestinationAreSkipped) {
  fs::create_directories(dest());
  writeFile(tree / "outside/victim", "keep");
  ASSERT_EQ(symlink((tree / "outside/victim").c_str(), (dest() + "/doc").c_str()), 0);
  {
    ZipWriter zip(archive());
    zip.file("__MACOSX/._doc", appleDouble());
    ASSERT_TRUE(zip.close());
  }
  ASSERT_TRUE(extract());
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dest() + "/doc")));
  EXPECT_EQ(xattrOf(tree / "outside/victim", "user.com.example.tag"), "<none>");
}

TEST_F(UnzipHandlerTest, DefaultDestinationIsCutOnlyInTheLastComponent) {
  fs::create_directories(tree / "b.d");
  for (const std::string& path : {tree / "pkg.zip", tree / "b.d/pkg"}) {
    ZipWriter zip(path);
    zip.file("inside.txt", "in");
    ASSERT_TRUE(zip.close());
  }
  UnzipHandler handler(nullptr, &logger, settings);
  ASSERT_TRUE(handler.open((tree / "b.d/pkg").c_str()));
  EXPECT_EQ(handler.defaultDestination(), tree / "b.d/pkg");
  ASSERT_TRUE(handler.open((tree / "pkg.zip").c_str()));
  EXPECT_EQ(handler.defaultDestination(), tree / "pkg");
  ASSERT_TRUE(handler.extractCurrentFile(nullptr, false, kOwnModes));
  EXPECT_EQ(readFile(tree / "pkg/inside.txt"), "in");
}

// minizip already refuses to open an archive without entries.
TEST_F(UnzipHandlerTest, ArchiveWithoutEntriesFails) {
  ASSERT_TRUE(ZipWriter(archive()).close());
  EXPECT_FALSE(extract());
  EXPECT_FALSE(existsNoFollow(dest()));
}

// It failed without a word.
TEST_F(UnzipHandlerTest, ArchiveThatCannotBeOpenedIsLogged) {
  ASSERT_TRUE(ZipWriter(archive()).close());
  writeFile(tree / "text.zip", "not a zip archive");
  for (const std::string& path : {archive(), tree / "text.zip", tree / "missing.zip"}) {
    logger.clear();
    UnzipHandler handler(nullptr, &logger, settings);
    EXPECT_FALSE(handler.extract(path.c_str(), dest().c_str(), false, kOwnModes)) << path;
    EXPECT_TRUE(logger.has(pando::kLogError, "Failed to open the archive " + path)) << path;
  }
}

TEST_F(UnzipHandlerTest, FoldersAndFilesAreTriedTwentyTimesAndNeverMadeThroughALink) {
  const std::string folder = tree / std::string(300, 'f');  // longer than a name may be
  UnzipHandler handler(nullptr, &logger, settings);
  EXPECT_FALSE(handler.CreateFilePath(folder.c_str()));
  EXPECT_EQ(linesAt(pando::kLogTrace, "Failed to create directory: " + folder + " with code "),
            19u);
  EXPECT_EQ(linesAt(pando::kLogWarn, "Failed to create directory after 20 retry attempts: " +
                                         folder + " with code "),
            1u);
  fs::create_directories(tree / "real");
  symlink((tree / "real").c_str(), (tree / "linked").c_str());
  EXPECT_FALSE(handler.CreateFilePath((tree / "linked/new").c_str()));
  EXPECT_FALSE(existsNoFollow(tree / "real/new"));

  fs::create_directories(dest() + "/name");
  ZipWriter zip(archive());
  zip.file("name", "a file where a folder stands");
  ASSERT_TRUE(zip.close());
  EXPECT_FALSE(extract());
  const std::string path = dest() + "/name";
  EXPECT_EQ(linesAt(pando::kLogTrace, "Failed to open file : " + path + " with code "), 19u);
  EXPECT_EQ(linesAt(pando::kLogWarn, "Cannot open file '" + path + "' after all retries"), 1u);
}

// minizip's file functions, except that large runs of zeros become holes: the archive of a
// stored 5 GiB entry of zeros takes almost no disk.
uLong ZCALLBACK writeSparsely(voidpf, voidpf stream, const void* buffer, uLong size) {
  const char* bytes = static_cast<const char*>(buffer);
  if (size >= 4096 && bytes[0] == 0 && std::memcmp(bytes, bytes + 1, size - 1) == 0) {
    return fseeko(static_cast<FILE*>(stream), static_cast<off_t>(size), SEEK_CUR) == 0 ? size : 0;
  }
  return fwrite(buffer, 1, size, static_cast<FILE*>(stream));
}

TEST_F(UnzipHandlerTest, EntryLargerThanFourGibibytes) {
  constexpr uint64_t kPiece = 1 << 20, kPieces = 5 * 1024, kSize = kPiece * kPieces;
  struct statvfs disk {};
  statvfs(tree.path().c_str(), &disk);
  if (static_cast<uint64_t>(disk.f_bavail) * disk.f_frsize < kSize + (1ull << 30)) {
    GTEST_SKIP() << "less than 6 GiB free for the 5 GiB file";
  }
  const std::string zeros(kPiece, '\0');
  const uLong pieceCrc = crc32(0, reinterpret_cast<const Bytef*>(zeros.data()), kPiece);
  uLong crc = pieceCrc;
  for (uint64_t i = 1; i < kPieces; ++i) crc = crc32_combine(crc, pieceCrc, kPiece);
  zlib_filefunc64_def io;
  fill_fopen64_filefunc(&io);
  io.zwrite_file = writeSparsely;
  {
    ZipWriter zip(archive(), &io);
    ASSERT_TRUE(zip.open("huge.bin", 0100644, 0, true, true));
    for (uint64_t i = 0; i < kPieces; ++i) {
      ASSERT_EQ(zipWriteInFileInZip(zip.handle(), zeros.data(), kPiece), ZIP_OK);
    }
    ASSERT_EQ(zipCloseFileInZipRaw64(zip.handle(), kSize, crc), ZIP_OK);
    zip.file("after.txt", "after");
    ASSERT_TRUE(zip.close());
  }
  ASSERT_TRUE(extract());
  EXPECT_EQ(fs::file_size(dest() + "/huge.bin"), kSize);
  EXPECT_EQ(readFile(dest() + "/after.txt"), "after");
}

}  // namespace
