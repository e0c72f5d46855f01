#include <fcntl.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include "foundation/files/Zip64Entry.h"
#include "platform/UniqueFd.h"
#include "tests/support/TemporaryFolder.h"

using namespace wendtest;

namespace {

std::string le(uint64_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
  return out;
}

// A central record whose compressed size, uncompressed size and local header offset are given.
std::string central(uint32_t compressed, uint32_t uncompressed, uint32_t offset) {
  return le(0x02014b50, 4) + std::string(16, '\0') + le(compressed, 4) + le(uncompressed, 4) +
         std::string(14, '\0') + le(offset, 4);
}

std::string zip64Extra(const std::string& values) {
  return le(0x7075, 2) + le(3, 2) + "abc" + le(1, 2) + le(values.size(), 2) + values;
}

class Zip64EntryTest : public testing::Test {
 protected:
  platform::UniqueFd archive(const std::string& bytes) {
    writeFile(tree / "archive", bytes);
    return platform::UniqueFd(open((tree / "archive").c_str(), O_RDONLY | O_CLOEXEC));
  }
  TemporaryFolder tree;
};

TEST_F(Zip64EntryTest, RealValuesComeFromTheExtraForSentinelFieldsOnly) {
  constexpr uint32_t kSentinel = 0xFFFFFFFF;
  struct Case {
    std::string record, extra;
    files::Zip64Record expected;
  } cases[] = {
      {central(5, 5, 0), le(0x7075, 2) + le(1, 2) + "x", files::Zip64Record::kNone},
      {central(5, 5, 0), zip64Extra(le(7, 8)), files::Zip64Record::kNone},
      {central(kSentinel, kSentinel, 9), zip64Extra(le(6ull << 30, 8) + le(5ull << 30, 8)),
       files::Zip64Record::kFound},
      {central(kSentinel, kSentinel, kSentinel), zip64Extra(le(1, 8) + le(2, 8)),
       files::Zip64Record::kDamaged},
      {central(5, kSentinel, 0), zip64Extra(le(1, 8)), files::Zip64Record::kFound},
      {std::string(46, 'x'), zip64Extra(le(1, 8)), files::Zip64Record::kDamaged},
  };
  for (const Case& c : cases) {
    platform::UniqueFd fd = archive(c.record);
    files::Zip64Entry entry;
    EXPECT_EQ(files::findZip64Entry(fd.get(), 0, c.extra, entry), c.expected) << &c - cases;
  }
  platform::UniqueFd fd = archive(cases[2].record);
  files::Zip64Entry entry;
  ASSERT_EQ(files::findZip64Entry(fd.get(), 0, cases[2].extra, entry), files::Zip64Record::kFound);
  EXPECT_EQ(entry.uncompressedSize, 6ull << 30);
  EXPECT_EQ(entry.compressedSize, 5ull << 30);
  EXPECT_EQ(entry.localHeaderOffset, 9u);
}

TEST_F(Zip64EntryTest, DataMustMatchTheRecordInSizeAndCrc) {
  const std::string data = "zip64 data";
  const uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(data.data()), data.size());
  const std::string local = le(0x04034b50, 4) + std::string(22, '\0') + le(1, 2) + le(0, 2) + "n";
  struct Case {
    std::string bytes;
    uint64_t size;
    uint32_t crc;
    bool ok;
  } cases[] = {
      {local + data, data.size(), crc, true},
      {local + data, data.size(), crc ^ 1, false},
      {local + data, data.size() - 1, crc, false},
      {local + data.substr(0, 4), data.size(), crc, false},
      {"PK\1\2" + local.substr(4) + data, data.size(), crc, false},
  };
  for (const Case& c : cases) {
    platform::UniqueFd fd = archive(c.bytes);
    std::string out, problem;
    const files::Zip64Entry entry{c.size, c.size, 0};
    auto sink = [&](const char* bytes, size_t size) {
      out.append(bytes, size);
      return true;
    };
    EXPECT_EQ(files::readZip64Entry(fd.get(), entry, 0, c.crc, sink, problem), c.ok) << &c - cases;
    if (c.ok) {
      EXPECT_EQ(out, data);
    }
  }
}

}  // namespace
