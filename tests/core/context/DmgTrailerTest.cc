#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/context/DmgTrailer.h"
#include "tests/support/DiskImage.h"
#include "tests/support/TemporaryFolder.h"

namespace {

using wendtest::diskImage;

std::string plistWith(const std::string& value) {
  return "<plist><dict><key>Other</key><string>x</string><key>ProductDetails</key>"
         "<string>" +
         value + "</string></dict></plist>";
}

class DmgTrailerTest : public ::testing::Test {
 protected:
  DmgReadStatus read(const std::string& bytes, std::string& plist) {
    const std::string path = folder_ / "image.dmg";
    wendtest::writeFile(path, bytes);
    int fd = open(path.c_str(), O_RDONLY);
    DmgReadStatus status = readDmgPropertyList(fd, plist);
    close(fd);
    return status;
  }
  wendtest::TemporaryFolder folder_;
};

TEST_F(DmgTrailerTest, ReadsTheListWhereTheBigEndianLowHalvesPoint) {
  const std::string plist = plistWith("eyJhIjoxfQ==");
  const std::string body = std::string(1000, '\x01') + plist + std::string(77, '\x02');
  std::string read;
  ASSERT_EQ(this->read(diskImage(body, 1000, static_cast<uint32_t>(plist.size())), read),
            DmgReadStatus::kRead);
  EXPECT_EQ(read, plist);
  std::string value;
  ASSERT_TRUE(findProductDetails(read, value));
  EXPECT_EQ(value, "eyJhIjoxfQ==");
}

TEST_F(DmgTrailerTest, TextEndsAtTheFirstZeroByte) {
  const std::string body = "<plist>" + std::string(1, '\0') + "after";
  std::string read = "before";
  ASSERT_EQ(this->read(diskImage(body, 0, static_cast<uint32_t>(body.size())), read),
            DmgReadStatus::kRead);
  EXPECT_EQ(read, "<plist>");
}

TEST_F(DmgTrailerTest, HostileTrailersFailWithoutALargeAllocation) {
  const std::string body(4096, 'b');
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"offset and length wrap round", diskImage(body, 0xFFFFFF00, 0x200)},
      {"list runs into the trailer", diskImage(body, 4000, 97)},
      {"list starts past the end", diskImage(body, 5000, 1)},
      {"4 GiB long", diskImage(body, 0, 0xFFFFFFFF)},
      {"over 16 MiB", diskImage(std::string((16u << 20) + 2, 'c'), 0, (16u << 20) + 1)},
      {"under 512 bytes", std::string(511, 'd')},
      {"nothing", ""},
  };
  for (const auto& test : cases) {
    std::string plist = "untouched";
    EXPECT_EQ(read(test.bytes, plist), DmgReadStatus::kBadTrailer) << test.name;
    EXPECT_EQ(plist, "untouched") << test.name;
  }
}

TEST_F(DmgTrailerTest, ListUpToTheTrailerIsAccepted) {
  const std::string body(600, 'e');
  std::string plist;
  EXPECT_EQ(read(diskImage(body, 100, 500), plist), DmgReadStatus::kRead);
  EXPECT_EQ(plist, std::string(500, 'e'));
  EXPECT_EQ(read(diskImage("", 0, 0), plist), DmgReadStatus::kRead);
  EXPECT_EQ(plist, "");
}

TEST(ProductDetailsTest, MarkersAreFoundAsPlainTextInOrder) {
  const std::vector<std::tuple<const char*, std::string, bool, std::string>> cases = {
      {"first string after the key, whatever lies between",
       "<key>ProductDetails</key><!-- x --><data>1</data><string>AB</string><string>CD</string>",
       true, "AB"},
      {"a string before the key does not count",
       "<string>no</string><key>ProductDetails</key><string>yes</string>", true, "yes"},
      {"empty value", "<key>ProductDetails</key><string></string>", true, ""},
      {"no key", "<key>Other</key><string>AB</string>", false, ""},
      {"no string after the key", "<string>AB</string><key>ProductDetails</key>", false, ""},
      {"no closing marker", "<key>ProductDetails</key><string>AB", false, ""},
  };
  for (const auto& [name, plist, found, value] : cases) {
    std::string out = "kept";
    EXPECT_EQ(findProductDetails(plist, out), found) << name;
    EXPECT_EQ(out, found ? value : "kept") << name;
  }
}

}  // namespace
