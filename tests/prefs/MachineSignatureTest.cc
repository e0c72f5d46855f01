#include <gtest/gtest.h>

#include "prefs/MachineSignature.h"
#include "tests/support/TemporaryFolder.h"

using namespace wendtest;

namespace {

class MachineSignatureTest : public ::testing::Test {
 protected:
  std::string idFile(const std::string& name, const std::string& text) {
    writeFile(folder_ / name, text);
    return folder_ / name;
  }
  static std::string of(const prefs::MachineSignature& source, uid_t user) {
    std::string out;
    EXPECT_TRUE(source.signatureFor(user, out));
    return out;
  }

  TemporaryFolder folder_;
};

TEST_F(MachineSignatureTest, IsHexOfTheMachineIdAndTheUser) {
  std::string id = idFile("machine-id", "3d1219c7c4c5404aaa1f6d2a48adfda4\n");
  prefs::MachineIdSignature source({id});
  std::string signature = of(source, 1000);
  EXPECT_EQ(signature.size(), 64u);
  EXPECT_EQ(signature.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(of(source, 1001), signature);
  EXPECT_EQ(
      of(prefs::MachineIdSignature({idFile("spaced", "3d1219c7c4c5404aaa1f6d2a48adfda4 \n\n")}),
         1000),
      signature);
  EXPECT_NE(
      of(prefs::MachineIdSignature({idFile("other", "00000000000000000000000000000001")}), 1000),
      signature);
}

TEST_F(MachineSignatureTest, FallsBackPastMissingAndEmptyFiles) {
  std::string second = idFile("second", "second-machine\n");
  std::string expected = of(prefs::MachineIdSignature({second}), 7);
  prefs::MachineIdSignature source(
      {folder_ / "missing", idFile("empty", ""), idFile("blank", " \n"), second});
  EXPECT_EQ(of(source, 7), expected);
}

TEST_F(MachineSignatureTest, WithoutAnyIdThereIsNoSignature) {
  std::string out = "unchanged";
  EXPECT_FALSE(
      prefs::MachineIdSignature({folder_ / "missing", idFile("empty", "")}).signatureFor(0, out));
  EXPECT_FALSE(
      prefs::MachineIdSignature({idFile("huge", std::string(5000, 'a'))}).signatureFor(0, out));
  EXPECT_EQ(out, "unchanged");
}

}  // namespace
