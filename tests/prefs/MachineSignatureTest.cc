#include <gtest/gtest.h>

#include "prefs/MachineSignature.h"
#include "tests/support/TemporaryFolder.h"

using namespace wendtest;

namespace {

TEST(MachineIdSignature, HexOfTheFirstUsableIdAndTheUser) {
  TemporaryFolder folder;
  writeFile(folder / "id", "3d1219c7c4c5404aaa1f6d2a48adfda4\n");
  writeFile(folder / "spaced", "3d1219c7c4c5404aaa1f6d2a48adfda4 \n\n");
  writeFile(folder / "empty", " \n");
  std::string signature, again, otherUser, fallen;
  ASSERT_TRUE(prefs::MachineIdSignature({folder / "id"}).signatureFor(1000, signature));
  EXPECT_EQ(signature.size(), 64u);
  EXPECT_EQ(signature.find_first_not_of("0123456789abcdef"), std::string::npos);
  ASSERT_TRUE(prefs::MachineIdSignature({folder / "spaced"}).signatureFor(1000, again));
  EXPECT_EQ(again, signature);
  ASSERT_TRUE(prefs::MachineIdSignature({folder / "id"}).signatureFor(1001, otherUser));
  EXPECT_NE(otherUser, signature);
  prefs::MachineIdSignature fallback({folder / "missing", folder / "empty", folder / "id"});
  ASSERT_TRUE(fallback.signatureFor(1000, fallen));
  EXPECT_EQ(fallen, signature);

  std::string none = "unchanged";
  writeFile(folder / "huge", std::string(5000, 'a'));
  EXPECT_FALSE(prefs::MachineIdSignature({folder / "missing", folder / "empty", folder / "huge"})
                   .signatureFor(0, none));
  EXPECT_EQ(none, "unchanged");
}

}  // namespace
