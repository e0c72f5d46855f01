#include <gtest/gtest.h>

#include "platform/files/ElfSection.h"
#include "tests/support/ElfImage.h"
#include "tests/support/TemporaryFolder.h"

using namespace wendtest;

namespace {

constexpr char kName[] = "__info_plist";
const std::string kData = "<plist>payload</plist>";

bool found(const std::string& file, std::string& section) {
  std::string_view view;
  if (!platform::findElfSection(file, kName, view)) return false;
  section.assign(view);
  return true;
}

TEST(ElfSection, FindsTheNamedSectionInEitherLayoutAndNoOther) {
  std::string section;
  for (bool tableFirst : {false, true}) {
    ASSERT_TRUE(found(ElfImage(kName, kData, tableFirst).bytes, section));
    EXPECT_EQ(section, kData);
  }
  EXPECT_FALSE(found(ElfImage("__info_plist_x", kData).bytes, section));
  EXPECT_FALSE(found(ElfImage("__info_plis", kData).bytes, section));
}

TEST(ElfSection, EveryTruncationFailsCleanly) {
  for (bool tableFirst : {false, true}) {
    std::string whole = ElfImage(kName, kData, tableFirst).bytes;
    for (size_t length = 0; length < whole.size(); ++length) {
      // A copy of exactly that length, so that a sanitizer sees any read beyond it.
      std::string cut = whole.substr(0, length);
      std::string section;
      EXPECT_FALSE(found(cut, section)) << length;
    }
  }
}

TEST(ElfSection, HostileFieldsAreBoundedByTheFileSize) {
  struct Case {
    const char* name;
    void (*damage)(ElfImage&);
  } cases[] = {
      {"table beyond the end", [](ElfImage& e) { e.put(0x28, e.bytes.size(), 8); }},
      {"table offset wraps", [](ElfImage& e) { e.put(0x28, ~uint64_t{0} - 8, 8); }},
      {"too many sections", [](ElfImage& e) { e.put(0x3C, 0xFFFF, 2); }},
      {"entries too small", [](ElfImage& e) { e.put(0x3A, 32, 2); }},
      {"names index out of range", [](ElfImage& e) { e.put(0x3E, 3, 2); }},
      {"data beyond the end",
       [](ElfImage& e) { e.put(e.sectionField(1, ElfImage::kOffset), e.bytes.size(), 8); }},
      {"data size wraps",
       [](ElfImage& e) { e.put(e.sectionField(1, ElfImage::kSize), ~uint64_t{0}, 8); }},
      {"names beyond the end",
       [](ElfImage& e) { e.put(e.sectionField(2, ElfImage::kSize), e.bytes.size(), 8); }},
      {"name offset outside the names",
       [](ElfImage& e) { e.put(e.sectionField(1, ElfImage::kName), 0xFFFFFF, 4); }},
      {"name without its NUL",  // names cut right after "__info_plist"
       [](ElfImage& e) { e.put(e.sectionField(2, ElfImage::kSize), 13, 8); }},
      {"section without file data",
       [](ElfImage& e) { e.put(e.sectionField(1, ElfImage::kType), 8, 4); }},
      {"32-bit class", [](ElfImage& e) { e.bytes[4] = 1; }},
      {"big-endian", [](ElfImage& e) { e.bytes[5] = 2; }},
      {"bad magic", [](ElfImage& e) { e.bytes[1] = 'e'; }},
  };
  for (const Case& c : cases) {
    ElfImage image(kName, kData);
    c.damage(image);
    std::string section;
    EXPECT_FALSE(found(image.bytes, section)) << c.name;
  }
}

TEST(ElfSectionFile, ReadsFromAFileAndReportsWhyNot) {
  TemporaryFolder folder;
  writeFile(folder / "lib.so", ElfImage(kName, kData).bytes);
  writeFile(folder / "empty.so", "");
  std::string section = "kept";
  EXPECT_EQ(platform::readElfSection(folder / "missing.so", kName, 4096, section),
            platform::ElfReadStatus::kOpenFailed);
  EXPECT_EQ(platform::readElfSection(folder.path(), kName, 4096, section),
            platform::ElfReadStatus::kNotFound);
  EXPECT_EQ(platform::readElfSection(folder / "empty.so", kName, 4096, section),
            platform::ElfReadStatus::kNotFound);
  EXPECT_EQ(platform::readElfSection(folder / "lib.so", kName, kData.size() - 1, section),
            platform::ElfReadStatus::kNotFound);
  EXPECT_EQ(section, "kept");
  EXPECT_EQ(platform::readElfSection(folder / "lib.so", kName, kData.size(), section),
            platform::ElfReadStatus::kFound);
  EXPECT_EQ(section, kData);
}

}  // namespace
