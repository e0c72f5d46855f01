#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdlib>
#include <vector>

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

// A binary list of the given objects (the first is the top), with two-byte offsets and references.
std::string binaryList(const std::vector<std::string>& objects) {
  std::string out = "bplist00", offsets;
  for (const std::string& object : objects) {
    offsets += {static_cast<char>(out.size() >> 8), static_cast<char>(out.size())};
    out += object;
  }
  const size_t table = out.size();
  out += offsets + std::string(6, '\0') + "\x02\x02";
  for (uint64_t field : {uint64_t{objects.size()}, uint64_t{0}, uint64_t{table}})
    for (int shift = 56; shift >= 0; shift -= 8) out += static_cast<char>(field >> shift);
  return out;
}

std::string reference(size_t index) {
  return {static_cast<char>(index >> 8), static_cast<char>(index)};
}

// Elements nested `depth` deep (the plist element counts), around `inside`; objects in binary.
std::string nestedXml(size_t depth, const std::string& inside = "") {
  std::string open, close;
  for (size_t i = 1; i < depth; ++i) open += "<array>", close += "</array>";
  return "<plist>" + open + inside + close + "</plist>";
}
std::string nestedBinary(size_t depth) {
  std::vector<std::string> objects;
  for (size_t i = 1; i < depth; ++i) objects.push_back("\xA1" + reference(i));
  objects.push_back("\xA0");
  return binaryList(objects);
}

// {"k": the string object given}
std::string binaryWithString(const std::string& string) {
  return binaryList({"\xD1" + reference(1) + reference(2), "\x51k", string});
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

TEST(PropertyList, ReadsXmlAndBinaryFormsWhereAllowed) {
  for (const std::string& bytes : {std::string(kInfoReply), binaryForm(kInfoReply)}) {
    platform::PropertyList list;
    ASSERT_TRUE(list.parse(bytes, platform::PlistForms::kXmlOrBinary));
    ASSERT_TRUE(list.root().isDictionary());
    expectInfoReply(list);
  }
  platform::PropertyList list;  // tool replies are XML only
  EXPECT_FALSE(list.parse(binaryForm(kInfoReply), platform::PlistForms::kXmlOnly));
  // Nesting up to the bound and paired surrogates are read.
  EXPECT_TRUE(
      list.parse(nestedXml(platform::kPropertyListMaximumDepth), platform::PlistForms::kXmlOnly));
  EXPECT_TRUE(list.parse(nestedBinary(platform::kPropertyListMaximumDepth),
                         platform::PlistForms::kXmlOrBinary));
  ASSERT_TRUE(list.parse(binaryWithString(std::string("\x62\xD8\x3D\xDE\x00", 5)),
                         platform::PlistForms::kXmlOrBinary));
  std::string text;
  EXPECT_TRUE(list.root().member("k").stringValue(text));
  EXPECT_EQ(text, "\xF0\x9F\x98\x80");
}

TEST(PropertyList, LookupsOnTheWrongTypeGiveNullNodes) {
  platform::PropertyList list;
  ASSERT_TRUE(list.parse(kInfoReply, platform::PlistForms::kXmlOnly));
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
      {"XML nested too deep", nestedXml(platform::kPropertyListMaximumDepth + 1)},
      {"closing tags hidden in a comment",
       nestedXml(platform::kPropertyListMaximumDepth, "<!-- </array></array> --><array></array>")},
      {"closing tags hidden in an attribute",
       nestedXml(platform::kPropertyListMaximumDepth, "<array a='/>'></array>")},
      {"binary nested too deep", nestedBinary(platform::kPropertyListMaximumDepth + 1)},
      {"binary array naming itself", binaryList({"\xA1" + reference(0)})},
      {"binary reference past the objects", binaryList({"\xA1" + reference(1)})},
      {"NUL byte in XML", std::string("<plist><string>a\0b</string></plist>", 36)},
      {"binary string with a NUL", binaryWithString(std::string("\x53"
                                                                "a\0b",
                                                                4))},
      {"binary lone high surrogate", binaryWithString(std::string("\x62\xD8\x00\x00b", 5))},
      {"binary lone low surrogate", binaryWithString(std::string("\x62\x00a\xDC\x00", 5))},
  };
  platform::PropertyList list;
  for (const Case& c : cases) {
    ASSERT_TRUE(list.parse(kInfoReply, platform::PlistForms::kXmlOnly));
    EXPECT_FALSE(list.parse(c.bytes, platform::PlistForms::kXmlOrBinary)) << c.name;
    EXPECT_TRUE(list.root().isNull()) << c.name;
  }
}

TEST(PropertyList, StringsTheLibraryWouldReCodeAreNoStrings) {
  for (const char* text : {"a&#xD800;b", "a&#xDC00;", "\xFF", "\xC0\xAF"}) {
    platform::PropertyList list;
    ASSERT_TRUE(list.parse(
        std::string("<plist><dict><key>k</key><string>") + text + "</string></dict></plist>",
        platform::PlistForms::kXmlOnly))
        << text;
    std::string value = "kept";
    EXPECT_FALSE(list.root().member("k").stringValue(value)) << text;
    EXPECT_EQ(value, "kept");
  }
}

}  // namespace
