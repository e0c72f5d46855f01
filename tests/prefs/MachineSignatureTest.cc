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
  writeFile(folder / "huge", std::string(5000, 'a'));
  auto signature = [](std::vector<std::string> files, uid_t user) {
    std::string out = "none";
    const bool found = prefs::MachineIdSignature(std::move(files)).signatureFor(user, out);
    return found == (out != "none") ? out : "answer and text disagree";
  };
  const std::string mine = signature({folder / "id"}, 1000);
  EXPECT_EQ(mine.size(), 64u);
  EXPECT_EQ(mine.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_EQ(signature({folder / "spaced"}, 1000), mine);
  EXPECT_NE(signature({folder / "id"}, 1001), mine);
  EXPECT_EQ(signature({folder / "missing", folder / "empty", folder / "id"}, 1000), mine);
  EXPECT_EQ(signature({folder / "missing", folder / "empty", folder / "huge"}, 0), "none");
}

}  // namespace
