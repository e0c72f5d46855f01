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

using AnswerFn = int (*)();

// Routes the utilities' fallback logging into a capturing logger for one test.
class FallbackCapture {
 public:
  FallbackCapture() { pando::setPandoUtilsDefaultLogger(&logger); }
  ~FallbackCapture() { pando::setPandoUtilsDefaultLogger(nullptr); }
  CapturingLogger logger;
};

// A private copy of the test library, so that each case loads a file of its own.
std::string copyOfLibrary(const TemporaryFolder& folder, const std::string& name) {
  std::string path = folder / name;
  std::filesystem::copy_file(WEND_TEST_NATIVE_LIBRARY, path);
  chmod(path.c_str(), 0644);
  return path;
}

TEST(NativeLibrary, LoadsResolvesAndUnloads) {
  NativeLibrary library;
  EXPECT_FALSE(library.isLoaded());
  EXPECT_EQ(library.getSymbol("wendTestNativeAnswer"), nullptr);
  EXPECT_FALSE(library.unload());

  ASSERT_TRUE(library.load(WEND_TEST_NATIVE_LIBRARY));
  EXPECT_TRUE(library.isLoaded());
  auto answer = reinterpret_cast<AnswerFn>(library.getSymbol("wendTestNativeAnswer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(library.getSymbol("noSuchSymbol"), nullptr);
  EXPECT_EQ(library.getSymbol(nullptr), nullptr);

  EXPECT_TRUE(library.unload());
  EXPECT_FALSE(library.isLoaded());
  EXPECT_FALSE(library.unload());
}

TEST(NativeLibrary, ASecondLoadKeepsTheFirstLibrary) {
  NativeLibrary library;
  ASSERT_TRUE(library.load(WEND_TEST_NATIVE_LIBRARY));
  EXPECT_TRUE(library.load("/nonexistent/other.so"));
  EXPECT_NE(library.getSymbol("wendTestNativeAnswer"), nullptr);
}

TEST(NativeLibrary, AFailedLoadIsLoggedAndLeavesTheObjectReady) {
  TemporaryFolder folder;
  writeFile(folder / "not-a-library.so", "plain text");
  chmod((folder / "not-a-library.so").c_str(), 0644);
  FallbackCapture capture;
  NativeLibrary library;
  for (const std::string& path : {folder / "absent.so", folder / "not-a-library.so"}) {
    capture.logger.clear();
    EXPECT_FALSE(library.load(path)) << path;
    EXPECT_FALSE(library.isLoaded()) << path;
    auto records = capture.logger.records();
    ASSERT_EQ(records.size(), 1u) << path;
    EXPECT_EQ(records[0].level, pando::kLogWarn);
    EXPECT_EQ(records[0].source, "NativeLibrary");
    EXPECT_EQ(records[0].message.rfind("Unable to load library at path: " + path + ". Error: ", 0),
              0u)
        << records[0].message;
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
  int serial = 0;
  for (const Case& c : cases) {
    std::string path = copyOfLibrary(folder, "lib" + std::to_string(serial++) + ".so");
    ASSERT_EQ(chown(path.c_str(), c.owner, 0), 0) << c.name;
    ASSERT_EQ(chmod(path.c_str(), c.mode), 0) << c.name;
    if (c.viaLink) {
      std::string link = path + ".link";
      ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
      path = link;
    }
    FallbackCapture capture;
    NativeLibrary library;
    EXPECT_EQ(library.load(path), c.refusal == nullptr) << c.name;
    if (c.refusal) {
      auto records = capture.logger.records();
      ASSERT_EQ(records.size(), 1u) << c.name;
      EXPECT_EQ(records[0].message,
                "Unable to load library at path: " + path + ". Error: " + c.refusal);
    } else {
      auto answer = reinterpret_cast<AnswerFn>(library.getSymbol("wendTestNativeAnswer"));
      ASSERT_NE(answer, nullptr) << c.name;
      EXPECT_EQ(answer(), 42);
    }
  }
}

}  // namespace
