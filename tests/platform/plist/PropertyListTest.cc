#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdlib>

#include "platform/plist/PropertyList.h"

namespace {

const char kInfoReply[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\"><dict>"
    "<key>framework</key><string>1.0</string>"
    "<key>images</key><array>"
    "<string>not a dictionary</string>"
    "<dict><key>image-path</key><string>/tmp/a&amp;b.dmg</string>"
    "<key>system-entities</key><array>"
    "<dict><key>dev-entry</key><string>/dev/disk2</string></dict>"
    "<dict><key>mount-point</key><string>/Volumes/A</string></dict>"
    "</array></dict>"
    "</array></dict></plist>";

// The same document in binary form, made by libplist itself.
std::string binaryForm(const std::string& xml) {
  plist_t tree = nullptr;
  plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &tree);
  char* bytes = nullptr;
  uint32_t length = 0;
  plist_to_bin(tree, &bytes, &length);
  std::string out(bytes, length);
  free(bytes);
  plist_free(tree);
  return out;
}

void expectInfoReply(const platform::PropertyList& list) {
  platform::PlistNode images = list.root().member("images");
  ASSERT_TRUE(images.isArray());
  ASSERT_EQ(images.size(), 2u);
  EXPECT_TRUE(images.at(0).isString());
  EXPECT_TRUE(images.at(2).isNull());
  std::string path, mountPoint, kept = "kept";
  EXPECT_TRUE(images.at(1).member("image-path").stringValue(path));
  EXPECT_EQ(path, "/tmp/a&b.dmg");
  platform::PlistNode entities = images.at(1).member("system-entities");
  EXPECT_FALSE(entities.at(0).member("mount-point").stringValue(kept));
  EXPECT_EQ(kept, "kept");
  EXPECT_TRUE(entities.at(1).member("mount-point").stringValue(mountPoint));
  EXPECT_EQ(mountPoint, "/Volumes/A");
}

TEST(PropertyList, ReadsXmlAndBinaryForms) {
  for (const std::string& bytes : {std::string(kInfoReply), binaryForm(kInfoReply)}) {
    platform::PropertyList list;
    ASSERT_TRUE(list.parse(bytes));
    ASSERT_TRUE(list.root().isDictionary());
    expectInfoReply(list);
  }
}

TEST(PropertyList, LookupsOnTheWrongTypeGiveNullNodes) {
  platform::PropertyList list;
  ASSERT_TRUE(list.parse(kInfoReply));
  platform::PlistNode framework = list.root().member("framework");
  std::string text;
  EXPECT_TRUE(framework.member("x").isNull());
  EXPECT_EQ(framework.size(), 0u);
  EXPECT_TRUE(framework.at(0).isNull());
  EXPECT_FALSE(list.root().stringValue(text));
  EXPECT_TRUE(list.root().member("absent").member("deeper").at(3).isNull());
  EXPECT_TRUE(list.root().member(nullptr).isNull());
  EXPECT_TRUE(platform::PropertyList().root().isNull());
}

TEST(PropertyList, HostileTextsAreNoPropertyLists) {
  std::string binary = binaryForm(kInfoReply);
  std::string oversized = kInfoReply;
  oversized.append(platform::kPropertyListMaximumSize, ' ');
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"not a property list", "images = ()"},
      {"unclosed", "<plist><dict><key>images</key><array>"},
      {"declared entity",
       "<!DOCTYPE plist [<!ENTITY v \"6.6\">]><plist><dict><key>k</key><string>&v;</string>"
       "</dict></plist>"},
      {"external entity",
       "<!DOCTYPE plist [<!ENTITY v SYSTEM \"file:///etc/hostname\">]><plist><dict><key>k</key>"
       "<string>&v;</string></dict></plist>"},
      {"binary header only", binary.substr(0, 8)},
      {"binary without its trailer", binary.substr(0, binary.size() - 32)},
      {"oversized", oversized},
  };
  platform::PropertyList list;
  for (const Case& c : cases) {
    ASSERT_TRUE(list.parse(kInfoReply));
    EXPECT_FALSE(list.parse(c.bytes)) << c.name;
    EXPECT_TRUE(list.root().isNull()) << c.name;
  }
}

}  // namespace
