#include <gtest/gtest.h>

#include <string>

#include "prefs/ValueCipher.h"

using prefs::ValueCipher;

namespace {

const ValueCipher::Key kKey = ValueCipher::deriveKey("machine", "PANDO", "ProxyCredentials");

std::string sealed(const std::string& value, const ValueCipher::Key& key = kKey) {
  std::string out;
  EXPECT_TRUE(ValueCipher(key).seal(value, out));
  return out;
}

bool opens(const std::string& blob, std::string& value, const ValueCipher::Key& key = kKey) {
  return ValueCipher(key).open(reinterpret_cast<const uint8_t*>(blob.data()), blob.size(), value);
}

TEST(ValueCipher, ValuesOfEveryKindComeBack) {
  const std::string values[] = {
      "",
      "p",
      "o'brien\"; DROP TABLE opm; --",
      "Gr\xc3\xbc\xc3\x9f"
      "e \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x94\x91",
      std::string(15, 'x'),
      std::string(16, 'x'),
      std::string(ValueCipher::kMaxValueBytes, 'm'),
  };
  for (const std::string& value : values) {
    std::string blob = sealed(value);
    if (value.size() >= 8) {
      EXPECT_EQ(blob.find(value.substr(0, 64)), std::string::npos);
    }
    std::string back = "unchanged";
    ASSERT_TRUE(opens(blob, back)) << value.size();
    EXPECT_EQ(back, value);
  }
}

TEST(ValueCipher, EverySealTakesAFreshIv) {
  EXPECT_NE(sealed("same"), sealed("same"));
  EXPECT_NE(sealed("same").substr(0, 16), sealed("same").substr(0, 16));
}

TEST(ValueCipher, AValueOverOneMebibyteIsNotSealed) {
  std::string out = "unchanged";
  EXPECT_FALSE(ValueCipher(kKey).seal(std::string(ValueCipher::kMaxValueBytes + 1, 'm'), out));
  EXPECT_EQ(out, "unchanged");
}

TEST(ValueCipher, KeysDependOnMachineDomainAndSubdomainWithTheirBoundaries) {
  const ValueCipher::Key keys[] = {
      kKey,
      ValueCipher::deriveKey("other machine", "PANDO", "ProxyCredentials"),
      ValueCipher::deriveKey("machine", "PANDO2", "ProxyCredentials"),
      ValueCipher::deriveKey("machine", "PANDO", "ProxyCredentials2"),
      ValueCipher::deriveKey("machine", "PANDOP", "roxyCredentials"),
      ValueCipher::deriveKey("machineP", "ANDO", "ProxyCredentials"),
  };
  for (size_t i = 0; i < std::size(keys); ++i) {
    for (size_t j = i + 1; j < std::size(keys); ++j) EXPECT_NE(keys[i], keys[j]) << i << "," << j;
  }
  std::string value = "unchanged";
  for (size_t i = 1; i < std::size(keys); ++i) {
    EXPECT_FALSE(opens(sealed("secret"), value, keys[i])) << i;
  }
  EXPECT_EQ(value, "unchanged");
}

TEST(ValueCipher, DamagedBlobsReadAsNoValue) {
  const std::string good = sealed("a value of some length, two blocks and more");
  struct Case {
    const char* what;
    std::string blob;
  } cases[] = {
      {"empty", ""},
      {"IV only", good.substr(0, 16)},
      {"IV and part of a block", good.substr(0, 31)},
      {"IV and the first block", good.substr(0, 32)},
      {"last byte cut", good.substr(0, good.size() - 1)},
      {"last block cut", good.substr(0, good.size() - 16)},
      {"one byte more", good + "x"},
      {"a block more", good + std::string(16, 'x')},
      {"IV flipped", std::string(1, static_cast<char>(good[0] ^ 1)) + good.substr(1)},
      {"digest flipped", good.substr(0, 20) + static_cast<char>(good[20] ^ 0x80) + good.substr(21)},
      {"last block flipped",
       good.substr(0, good.size() - 1) + static_cast<char>(good.back() ^ 0x01)},
      {"random", std::string(64, '\x5a')},
  };
  for (const Case& c : cases) {
    std::string value = "unchanged";
    EXPECT_FALSE(opens(c.blob, value)) << c.what;
    EXPECT_EQ(value, "unchanged") << c.what;
  }
  std::string value;
  EXPECT_FALSE(ValueCipher(kKey).open(nullptr, 48, value));
}

}  // namespace
