#include <gtest/gtest.h>
#include <sys/stat.h>

#include "foundation/system/CodeSigning.h"
#include "platform/ToolRunner.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

using namespace wendtest;

namespace {

const std::string kIdentities = WEND_CODESIGN_TESTKEYS;
constexpr char kOrvelChain[] =
    "Developer ID Application: Orvel Systems, Inc.{|}Wend Test Developer ID CA{|}"
    "Wend Test Root CA";

// The codesign stand-in, trusting the test root, and a folder of files to sign.
class CodeSigning : public ::testing::Test {
 protected:
  CodeSigning()
      : tool_("WEND_TOOL_CODESIGN", WEND_CODESIGN_TOOL),
        trust_("WEND_CODESIGN_TRUST", kIdentities + "/trusted.pem") {}

  std::string signedFile(const char* name, const char* signer, bool withChain = true) {
    std::string path = folder_ / name;
    writeFile(path, std::string("\x7F"
                                "ELF pretend library ") +
                        name);
    std::vector<std::string> arguments = {"--key", kIdentities + "/" + signer + ".key", "--cert",
                                          kIdentities + "/" + signer + ".pem"};
    if (withChain) arguments.insert(arguments.end(), {"--chain", kIdentities + "/chain.pem"});
    arguments.push_back(path);
    EXPECT_TRUE(platform::runProgram(WEND_CODESIGN_SIGN, arguments).succeeded()) << name;
    return path;
  }

  std::string script(const std::string& body) {
    std::string path = folder_ / "codesign.sh";
    writeFile(path, "#!/bin/sh\n" + body);
    chmod(path.c_str(), 0755);
    return path;
  }

  TemporaryFolder folder_;
  ScopedEnv tool_, trust_;
};

TEST_F(CodeSigning, ASignedFilePassesWithItsAuthorityChain) {
  std::string chain = "stale";
  EXPECT_FALSE(getCANameChain(signedFile("orvel.dylib", "orvel"), chain));
  EXPECT_EQ(chain, kOrvelChain);
  EXPECT_TRUE(isOrvelCANameChain(chain));
}

TEST_F(CodeSigning, FilesThatAreNotProvablySignedByATrustedKeyHaveNoAuthorities) {
  std::string tampered = signedFile("tampered.dylib", "orvel");
  std::string bytes = readFile(tampered);
  bytes[3] ^= 0x01;
  writeFile(tampered, bytes);
  std::string brokenSignature = signedFile("broken.dylib", "orvel");
  bytes = readFile(brokenSignature);
  bytes[bytes.size() - 100] ^= 0x01;
  writeFile(brokenSignature, bytes);
  writeFile(folder_ / "unsigned.dylib", "plain");

  struct Case {
    const char* name;
    std::string path;
  } cases[] = {
      {"unsigned", folder_ / "unsigned.dylib"},
      {"one byte flipped", tampered},
      {"signature damaged", brokenSignature},
      {"untrusted key with the maker's name", signedFile("rogue.dylib", "rogue")},
      {"chain to the trusted root left out", signedFile("no-chain.dylib", "orvel", false)},
      {"missing file", folder_ / "absent.dylib"},
  };
  for (const Case& c : cases) {
    std::string chain = "stale";
    EXPECT_TRUE(getCANameChain(c.path, chain)) << c.name;
    EXPECT_EQ(chain, "") << c.name;
  }
}

TEST_F(CodeSigning, AMissingOrUnusableToolFindsNothing) {
  std::string file = signedFile("orvel.dylib", "orvel");
  for (const std::string& tool : {folder_ / "absent-tool", folder_.path()}) {
    ScopedEnv override("WEND_TOOL_CODESIGN", tool);
    std::string chain = "stale";
    EXPECT_TRUE(getCANameChain(file, chain)) << tool;
    EXPECT_EQ(chain, "") << tool;
  }
  ScopedEnv untrusting("WEND_CODESIGN_TRUST", folder_ / "no-store.pem");
  std::string chain;
  EXPECT_TRUE(getCANameChain(file, chain));
}

TEST_F(CodeSigning, AuthorityLinesAreTakenFromEitherStreamOnlyWhenTheToolSucceeds) {
  writeFile(folder_ / "file", "x");
  const std::string lines =
      "echo 'Executable=x'; echo 'Authority=First'; echo '  Authority=Second=2' >&2;"
      " echo 'noise Authority=Third Authority=x'; echo 'Authority='";
  struct Case {
    const char* name;
    std::string body;
    const char* chain;
  } cases[] = {
      {"success", lines + "\n", "First{|}Third Authority=x{|}{|}Second=2"},
      {"failed status", lines + "; exit 1\n", ""},
      {"killed", lines + "; kill -KILL $$\n", ""},
      {"no authority", "echo 'Executable=x'\n", ""},
  };
  for (const Case& c : cases) {
    ScopedEnv tool("WEND_TOOL_CODESIGN", script(c.body));
    std::string chain = "kept";
    getCodeSigningAuthorities(folder_ / "file", chain);
    EXPECT_EQ(chain, *c.chain ? "kept{|}" + std::string(c.chain) : "kept") << c.name;
    EXPECT_EQ(getCANameChain(folder_ / "file", chain), *c.chain == '\0') << c.name;
    EXPECT_EQ(chain, c.chain) << c.name;
  }
}

TEST_F(CodeSigning, TheToolIsAskedToDisplayTheFile) {
  writeFile(folder_ / "file name", "x");
  ScopedEnv tool("WEND_TOOL_CODESIGN", script("for a; do echo \"Authority=[$a]\"; done\n"));
  std::string chain;
  EXPECT_FALSE(getCANameChain(folder_ / "file name", chain));
  EXPECT_EQ(chain, "[-dvv]{|}[" + folder_ / "file name" + "]");
}

TEST(IsOrvelCANameChain, AcceptsTheMakersNameInAnySpelling) {
  struct Case {
    const char* chain;
    bool maker;
  } cases[] = {
      {"Developer ID Application: Orvel Systems, Inc.", true},
      {"ORVEL SYSTEMS INC", true},
      {"orvel systems, inc", true},
      {"Orvel Systems Incorporated", true},
      {"Orvel Systems Inc.{|}Root", true},
      {"Root{|}Developer ID Application: Orvel Systems, Inc.", true},
      {"Orvel Systems, Inc.ubator Labs", true},  // a plain substring search
      {"O.r.v.e.l Systems Inc", true},           // dots go before the search
      {"Orvel Systems", false},
      {"Orvel Inc", false},
      {"Orvel  Systems Inc", false},
      {"Orvel Systems Ltd", false},
      {"Fernhill Tools Ltd", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(isOrvelCANameChain(c.chain), c.maker) << c.chain;
}

}  // namespace
