#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/signature/ConfigSignatureVerifier.h"
#include "tests/support/ConfigSigning.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/TemporaryFolder.h"

namespace {

using wendtest::elementText;
using wendtest::signatureFor;

const std::string kConfig =
    "<C3Config><config><namespace name=\"wend.bootstrapper\">"
    "<property name=\"environment\">stage</property></namespace></config></C3Config>\n";

class ConfigSignatureVerifierTest : public ::testing::Test {
 protected:
  void SetUp() override { wendtest::writeFile(path_, kConfig); }

  // The input the installer builds from the file, its signature document and the test key.
  SignatureCheckInput inputFor(const std::string& signatureDocument) {
    SignatureCheckInput input;
    input.filePath = path_;
    input.expectedSize = parseSignedFileSize(elementText(signatureDocument, "FileSize"));
    input.modulus = key_.modulus.data();
    input.modulusLength = static_cast<uint32_t>(key_.modulus.size());
    input.exponent = key_.exponent.data();
    input.exponentLength = static_cast<uint32_t>(key_.exponent.size());
    input.signature = elementText(signatureDocument, "CheckSum");
    return input;
  }

  wendtest::TemporaryFolder folder_;
  std::string path_ = folder_ / "C3Config.xml";
  ConfigSigningKey key_ = wendtest::testSigningKey();
};

TEST_F(ConfigSignatureVerifierTest, SignedFileVerifiesAndHandsBackTheBytesItChecked) {
  std::string bytes;
  EXPECT_EQ(ConfigSignatureVerifier(inputFor(signatureFor(path_)), &bytes), kSignatureVerified);
  EXPECT_EQ(bytes, kConfig);
}

TEST_F(ConfigSignatureVerifierTest, SizeOtherThanSignedFailsBeforeTheSignature) {
  SignatureCheckInput input = inputFor(signatureFor(path_));
  for (uint64_t size : {input.expectedSize + 1, input.expectedSize - 1}) {
    SignatureCheckInput changed = input;
    changed.expectedSize = size;
    changed.signature = "garbage that would fail later";
    EXPECT_EQ(ConfigSignatureVerifier(changed), kSignatureSizeMismatch) << size;
  }
}

TEST_F(ConfigSignatureVerifierTest, OneChangedByteFailsTheDigest) {
  SignatureCheckInput input = inputFor(signatureFor(path_));
  std::string changed = kConfig;
  changed[changed.find("stage")] = 'S';
  wendtest::writeFile(path_, changed);
  std::string bytes = "untouched";
  EXPECT_EQ(ConfigSignatureVerifier(input, &bytes), kSignatureDigestMismatch);
  EXPECT_EQ(bytes, "untouched");
}

TEST_F(ConfigSignatureVerifierTest, ForeignCutOrNonBase64SignaturesFail) {
  const SignatureCheckInput good = inputFor(signatureFor(path_));
  const std::string foreign = elementText(signatureFor(path_, "other-key"), "CheckSum");
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"another key", foreign},
      {"cut in half", good.signature.substr(0, good.signature.size() / 2)},
      {"no Base64 at all", "!!!! ???? ****"},
  };
  for (const auto& [name, signature] : cases) {
    SignatureCheckInput input = good;
    input.signature = signature;
    EXPECT_NE(ConfigSignatureVerifier(input), kSignatureVerified) << name;
  }
  SignatureCheckInput otherKey = good;
  const ConfigSigningKey other = wendtest::testSigningKey("other-key");
  otherKey.modulus = other.modulus.data();
  EXPECT_NE(ConfigSignatureVerifier(otherKey), kSignatureVerified) << "checked with another key";
}

TEST_F(ConfigSignatureVerifierTest, MissingInputGivesStatusTwo) {
  const SignatureCheckInput good = inputFor(signatureFor(path_));
  std::vector<SignatureCheckInput> cases(5, good);
  cases[0].modulus = nullptr;
  cases[1].exponent = nullptr;
  cases[2].expectedSize = 0;
  cases[3].signature.clear();
  cases[4].modulusLength = 0;
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(ConfigSignatureVerifier(cases[i]), kSignatureMissingInput) << i;
  }
}

TEST_F(ConfigSignatureVerifierTest, FilesThatCannotBeSignedWholeAreUnreadable) {
  SignatureCheckInput input = inputFor(signatureFor(path_));
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"empty", ""},
      {"1 MiB", std::string(size_t{1} << 20, 'x')},
  };
  for (const auto& [name, bytes] : cases) {
    wendtest::writeFile(path_, bytes);
    input.expectedSize = bytes.empty() ? 1 : bytes.size();
    EXPECT_EQ(ConfigSignatureVerifier(input), kSignatureUnreadable) << name;
  }
  input.filePath = folder_ / "missing.xml";
  EXPECT_EQ(ConfigSignatureVerifier(input), kSignatureUnreadable) << "missing";
  wendtest::HostileFiles hostile(kSignedFileLimit);
  for (const std::string& path : hostile.all()) {
    input.filePath = path;
    EXPECT_EQ(ConfigSignatureVerifier(input), kSignatureUnreadable) << path;
  }
}

TEST_F(ConfigSignatureVerifierTest, LargestSignableFileVerifies) {
  wendtest::writeFile(path_, std::string((size_t{1} << 20) - 1, 'y'));
  EXPECT_EQ(ConfigSignatureVerifier(inputFor(signatureFor(path_))), kSignatureVerified);
}

TEST(SignedFileSizeTest, ReadsDecimalHexadecimalAndOctalAndNothingElse) {
  const std::vector<std::pair<std::string, uint64_t>> cases = {
      {"1234", 1234},
      {"0x4d2", 1234},
      {"0X4D2", 1234},
      {"02322", 1234},
      {" 1234", 1234},
      {"1234 bytes", 1234},
      {"", 0},
      {"size", 0},
      {"-1234", 0},
      {"0x", 0},
      {"99999999999999999999999", 0},
  };
  for (const auto& [text, size] : cases) EXPECT_EQ(parseSignedFileSize(text), size) << text;
}

}  // namespace
