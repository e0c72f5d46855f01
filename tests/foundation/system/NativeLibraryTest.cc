#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "foundation/logging/UtilsLog.h"
#include "foundation/system/NativeLibrary.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

using namespace wendtest;

namespace {

int answerOf(const NativeLibrary& library) {
  auto answer = reinterpret_cast<int (*)()>(library.getSymbol("wendTestNativeAnswer"));
  return answer ? answer() : -1;
}

// Routes the utilities' fallback logging into a capturing logger for one test.
class FallbackCapture {
 public:
  FallbackCapture() { pando::setPandoUtilsDefaultLogger(&logger); }
  ~FallbackCapture() { pando::setPandoUtilsDefaultLogger(nullptr); }
  // The one warning a failed load leaves, which begins with the Part's text.
  std::string refusal() const {
    auto records = logger.records();
    if (records.size() != 1 || records[0].level != pando::kLogWarn ||
        records[0].source != "NativeLibrary")
      return "(no single warning)";
    return records[0].message;
  }
  CapturingLogger logger;
};

TEST(NativeLibrary, LoadsResolvesAndUnloadsAndASecondLoadKeepsTheFirst) {
  NativeLibrary library;
  EXPECT_EQ(library.getSymbol("wendTestNativeAnswer"), nullptr);
  EXPECT_FALSE(library.unload());

  ASSERT_TRUE(library.load(WEND_TEST_NATIVE_LIBRARY));
  EXPECT_TRUE(library.isLoaded());
  EXPECT_EQ(answerOf(library), 42);
  EXPECT_EQ(library.getSymbol("noSuchSymbol"), nullptr);
  EXPECT_EQ(library.getSymbol(nullptr), nullptr);
  EXPECT_TRUE(library.load("/nonexistent/other.so"));
  EXPECT_EQ(answerOf(library), 42);

  EXPECT_TRUE(library.unload());
  EXPECT_FALSE(library.isLoaded());
  EXPECT_FALSE(library.unload());
}

// Two libraries at once, and a load after another holder's unload, each resolve their own symbols
// (as root each is loaded through a descriptor's name, which must not lead to another library).
TEST(NativeLibrary, EachLoadResolvesItsOwnLibrarysSymbols) {
  NativeLibrary first, second, firstAgain, third;
  ASSERT_TRUE(first.load(WEND_TEST_NATIVE_LIBRARY));
  ASSERT_TRUE(second.load(WEND_TEST_NATIVE_OTHER_LIBRARY));
  EXPECT_EQ(answerOf(first), 42);
  EXPECT_EQ(answerOf(second), 7);
  ASSERT_TRUE(firstAgain.load(WEND_TEST_NATIVE_LIBRARY));
  ASSERT_TRUE(first.unload());
  ASSERT_TRUE(second.unload());
  ASSERT_TRUE(third.load(WEND_TEST_NATIVE_OTHER_LIBRARY));
  EXPECT_EQ(answerOf(third), 7);
  EXPECT_EQ(answerOf(firstAgain), 42);
}

TEST(NativeLibrary, AFailedLoadIsLoggedAndLeavesTheObjectReady) {
  TemporaryFolder folder;
  writeFile(folder / "not-a-library.so", "plain text");
  chmod((folder / "not-a-library.so").c_str(), 0644);
  NativeLibrary library;
  for (const std::string& path : {folder / "absent.so", folder / "not-a-library.so"}) {
    FallbackCapture capture;
    EXPECT_FALSE(library.load(path)) << path;
    EXPECT_FALSE(library.isLoaded()) << path;
    EXPECT_EQ(capture.refusal().rfind("Unable to load library at path: " + path + ". Error: ", 0),
              0u)
        << capture.refusal();
  }
  EXPECT_TRUE(library.load(WEND_TEST_NATIVE_LIBRARY));
}

TEST(NativeLibrary, AsRootOnlyFilesNoOtherUserCanReplaceAreLoaded) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  TemporaryFolder folder;
  ScopedEnv consoleUser("WEND_CONSOLE_UID", std::to_string(otherUser()));
  struct Case {
    const char* name;
    mode_t mode;
    uid_t owner;
    bool viaLink;
    const char* refusal;  // null: loads
  } cases[] = {
      {"root's, 0644", 0644, 0, false, nullptr},
      {"console user's, 0755", 0755, otherUser(), false, nullptr},
      {"group-writable", 0664, 0, false, "refused: writable by group or others"},
      {"writable by others", 0646, 0, false, "refused: writable by group or others"},
      {"another user's", 0644, kUnknownUid, false, "refused: owned by another user"},
      {"through a link", 0644, 0, true, "refused: the path is a symbolic link"},
  };
  for (const Case& c : cases) {
    std::string path = folder / (std::string(c.name) + ".so");
    std::filesystem::copy_file(WEND_TEST_NATIVE_LIBRARY, path);
    ASSERT_EQ(chown(path.c_str(), c.owner, 0), 0) << c.name;
    ASSERT_EQ(chmod(path.c_str(), c.mode), 0) << c.name;
    if (c.viaLink) {
      ASSERT_EQ(symlink(path.c_str(), (path + ".link").c_str()), 0);
      path += ".link";
    }
    FallbackCapture capture;
    NativeLibrary library;
    EXPECT_EQ(library.load(path), c.refusal == nullptr) << c.name;
    if (c.refusal) {
      EXPECT_EQ(capture.refusal(),
                "Unable to load library at path: " + path + ". Error: " + c.refusal);
    } else {
      EXPECT_EQ(answerOf(library), 42) << c.name;
    }
  }
}

}  // namespace
