#include <gtest/gtest.h>
#include <sys/stat.h>

#include "foundation/system/CodeSigning.h"
#include "platform/processes/ToolRunner.h"
#include "tests/support/Bundle.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

using namespace wendtest;

namespace {

const std::string kIdentities = WEND_CODESIGN_TESTKEYS;

// The codesign stand-in, trusting the test root, and a folder of files to sign.
class CodeSigning : public ::testing::Test {
 protected:
  std::string signedFile(const char* name, const char* signer, bool withChain = true) {
    std::string path = folder_ / name;
    writeFile(path, std::string("\x7F") + "ELF pretend library " + name);
    std::vector<std::string> arguments = {"--key", kIdentities + "/" + signer + ".key", "--cert",
                                          kIdentities + "/" + signer + ".pem"};
    if (withChain) arguments.insert(arguments.end(), {"--chain", kIdentities + "/chain.pem"});
    arguments.push_back(path);
    EXPECT_TRUE(platform::runProgram(WEND_CODESIGN_SIGN, arguments).succeeded()) << name;
    return path;
  }
  // One bit changed in the signed bytes or in the signature behind them.
  std::string flipped(std::string path, bool inSignature) {
    std::string bytes = readFile(path);
    bytes[inSignature ? bytes.size() - 100 : 3] ^= 0x01;
    writeFile(path, bytes);
    return path;
  }
  std::string script(const std::string& body) {
    writeScript(folder_ / "codesign.sh", body);
    return folder_ / "codesign.sh";
  }

  TemporaryFolder folder_;
  ScopedEnv tool_{"WEND_TOOL_CODESIGN", WEND_CODESIGN_TOOL};
  ScopedEnv trust_{"WEND_CODESIGN_TRUST", kIdentities + "/trusted.pem"};
};

TEST_F(CodeSigning, ASignedFilePassesWithItsAuthorityChain) {
  std::string chain = "stale";
  EXPECT_FALSE(getCANameChain(signedFile("orvel.dylib", "orvel"), chain));
  EXPECT_EQ(chain,
            "Developer ID Application: Orvel Systems, Inc.{|}Wend Test Developer ID CA{|}"
            "Wend Test Root CA");
  EXPECT_TRUE(isOrvelCANameChain(chain));
}

TEST_F(CodeSigning, FilesThatAreNotProvablySignedByATrustedKeyHaveNoAuthorities) {
  writeFile(folder_ / "unsigned.dylib", "plain");
  const std::string good = signedFile("good.dylib", "orvel");
  struct Case {
    const char* name;
    std::string path;
    std::string tool = WEND_CODESIGN_TOOL;
    std::string trust = kIdentities + "/trusted.pem";
  } cases[] = {
      {"unsigned", folder_ / "unsigned.dylib"},
      {"one byte flipped", flipped(signedFile("tampered.dylib", "orvel"), false)},
      {"signature damaged", flipped(signedFile("broken.dylib", "orvel"), true)},
      {"untrusted key with the maker's name", signedFile("rogue.dylib", "rogue")},
      {"chain to the trusted root left out", signedFile("no-chain.dylib", "orvel", false)},
      {"missing file", folder_ / "absent.dylib"},
      {"missing tool", good, folder_ / "absent-tool"},
      {"tool is a folder", good, folder_.path()},
      {"no trust store", good, WEND_CODESIGN_TOOL, folder_ / "no-store.pem"},
  };
  for (const Case& c : cases) {
    ScopedEnv tool("WEND_TOOL_CODESIGN", c.tool), trust("WEND_CODESIGN_TRUST", c.trust);
    std::string chain = "stale";
    EXPECT_TRUE(getCANameChain(c.path, chain)) << c.name;
    EXPECT_EQ(chain, "") << c.name;
  }
}

// Tools that print canned reports; the last case echoes its arguments as authorities.
TEST_F(CodeSigning, AuthorityLinesAreTakenFromEitherStreamOnlyWhenTheToolSucceeds) {
  writeFile(folder_ / "file name", "x");
  const std::string lines =
      "echo 'Executable=x'; echo 'Authority=First'; echo '  Authority=Second=2' >&2;"
      " echo 'noise Authority=Third Authority=x'; echo 'Authority='";
  struct Case {
    const char* name;
    std::string body;
    std::string chain;
  } cases[] = {
      {"success", lines + "\n", "First{|}Third Authority=x{|}{|}Second=2"},
      {"failed status", lines + "; exit 1\n", ""},
      {"killed", lines + "; kill -KILL $$\n", ""},
      {"no authority", "echo 'Executable=x'\n", ""},
      {"arguments", "for a; do echo \"Authority=[$a]\"; done\n",
       "[-dvv]{|}[" + folder_ / "file name" + "]"},
  };
  for (const Case& c : cases) {
    ScopedEnv tool("WEND_TOOL_CODESIGN", script(c.body));
    std::string chain = "kept";
    getCodeSigningAuthorities(folder_ / "file name", chain);
    EXPECT_EQ(chain, c.chain.empty() ? "kept" : "kept{|}" + c.chain) << c.name;
    EXPECT_EQ(getCANameChain(folder_ / "file name", chain), c.chain.empty()) << c.name;
    EXPECT_EQ(chain, c.chain) << c.name;
  }
}

TEST(IsOrvelCANameChain, AcceptsTheMakersNameInAnySpelling) {
  const std::pair<const char*, bool> cases[] = {
      {"Developer ID Application: Orvel Systems, Inc.", true},
      {"ORVEL SYSTEMS INC", true},
      {"Orvel Systems Incorporated", true},
      {"Root{|}Developer ID Application: Orvel Systems, Inc.", true},
      {"Orvel Systems, Inc.ubator Labs", true},  // a plain substring search
      {"O.r.v.e.l Systems Inc", true},           // dots go before the search
      {"Orvel Systems", false},
      {"Orvel  Systems Inc", false},
      {"Orvel Systems Ltd", false},
      {"", false},
  };
  for (const auto& [chain, maker] : cases) EXPECT_EQ(isOrvelCANameChain(chain), maker) << chain;
}

}  // namespace
