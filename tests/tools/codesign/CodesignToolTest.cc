#include <gtest/gtest.h>

#include "platform/processes/ToolRunner.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"
#include "tools/codesign/SignatureBlock.h"

using namespace wendtest;

namespace {

const std::string kIdentities = WEND_CODESIGN_TESTKEYS;

platform::ToolResult sign(const std::string& file, const std::string& signer) {
  return platform::runProgram(WEND_CODESIGN_SIGN, {"--key", kIdentities + "/" + signer + ".key",
                                                   "--cert", kIdentities + "/" + signer + ".pem",
                                                   "--chain", kIdentities + "/chain.pem", file});
}

platform::ToolResult display(const std::vector<std::string>& arguments) {
  ScopedEnv trust("WEND_CODESIGN_TRUST", kIdentities + "/trusted.pem");
  return platform::runProgram(WEND_CODESIGN_TOOL, arguments);
}

TEST(CodesignTool, SigningAgainReplacesTheSignature) {
  TemporaryFolder folder;
  writeFile(folder / "lib", "library bytes");
  ASSERT_TRUE(sign(folder / "lib", "rogue").succeeded());
  ASSERT_TRUE(sign(folder / "lib", "orvel").succeeded());
  codesign::SignedParts parts;
  std::string bytes = readFile(folder / "lib");
  ASSERT_TRUE(codesign::splitSigned(bytes, parts));
  EXPECT_EQ(parts.content, "library bytes");
  EXPECT_TRUE(display({"-dvv", folder / "lib"}).succeeded());
}

TEST(CodesignTool, FailuresExitNonZeroWithoutAuthorities) {
  TemporaryFolder folder;
  writeFile(folder / "plain", "plain");
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    int exitCode;
  } cases[] = {
      {"unsigned", {"-dvv", folder / "plain"}, 1},
      {"missing file", {"-dvv", folder / "absent"}, 1},
      {"a folder", {"-dvv", folder.path()}, 1},
      {"no file", {"-dvv"}, 2},
      {"other option", {"-v", folder / "plain"}, 2},
  };
  for (const Case& c : cases) {
    platform::ToolResult result = display(c.arguments);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.name;
    EXPECT_EQ(result.errorOutput.find("Authority="), std::string::npos) << c.name;
  }
}

TEST(SignatureBlock, OnlyAWellFormedTrailerSplitsTheFile) {
  std::string block = codesign::signatureBlock("DER");
  ASSERT_EQ(block.size(), 3 + codesign::kTrailerSize);
  codesign::SignedParts parts;
  const std::string file = "content" + block;
  ASSERT_TRUE(codesign::splitSigned(file, parts));
  EXPECT_EQ(parts.content, "content");
  EXPECT_EQ(parts.signature, "DER");

  std::string tooLong = block;
  tooLong[10] = 4;  // claims four bytes of signature where three stand
  std::string huge = block;
  huge[3] = 1;  // claims 2^56 bytes
  std::string empty = codesign::signatureBlock("");
  std::string badMagic = block;
  badMagic.back() = '2';
  for (const std::string& hostile :
       {std::string(), block.substr(1), tooLong, huge, empty, badMagic, std::string("WENDSIG1")}) {
    EXPECT_FALSE(codesign::splitSigned(hostile, parts)) << testing::PrintToString(hostile);
  }
}

}  // namespace
