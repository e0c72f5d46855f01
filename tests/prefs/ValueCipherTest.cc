#include <gtest/gtest.h>

#include <string>

#include "prefs/ValueCipher.h"

using prefs::ValueCipher;

namespace {

const ValueCipher::Key kKey = ValueCipher::deriveKey("machine", "PANDO", "ProxyCredentials");

std::string sealed(const std::string& value) {
  std::string out;
  EXPECT_TRUE(ValueCipher(kKey).seal(value, out));
  return out;
}

bool opens(const std::string& blob, std::string& value, const ValueCipher::Key& key = kKey) {
  return ValueCipher(key).open(reinterpret_cast<const uint8_t*>(blob.data()), blob.size(), value);
}

TEST(ValueCipher, EverySealTakesAFreshIv) {
  EXPECT_NE(sealed("same").substr(0, 16), sealed("same").substr(0, 16));
}

TEST(ValueCipher, OnlyTheSameMachineDomainAndSubdomainOpenAValue) {
  const ValueCipher::Key others[] = {
      ValueCipher::deriveKey("other machine", "PANDO", "ProxyCredentials"),
      ValueCipher::deriveKey("machine", "PANDO2", "ProxyCredentials"),
      ValueCipher::deriveKey("machine", "PANDO", "ProxyCredentials2"),
      ValueCipher::deriveKey("machine", "PANDOP", "roxyCredentials"),  // the boundaries count
      ValueCipher::deriveKey("machineP", "ANDO", "ProxyCredentials"),
  };
  std::string value = "unchanged";
  for (const ValueCipher::Key& key : others) EXPECT_FALSE(opens(sealed("secret"), value, key));
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
      {"a block more", good + std::string(16, 'x')},
      {"IV flipped", std::string(1, static_cast<char>(good[0] ^ 1)) + good.substr(1)},
      {"digest flipped", good.substr(0, 20) + static_cast<char>(good[20] ^ 0x80) + good.substr(21)},
      {"random", std::string(64, '\x5a')},
  };
  for (const Case& c : cases) {
    std::string value = "unchanged";
    EXPECT_FALSE(opens(c.blob, value)) << c.what;
    EXPECT_EQ(value, "unchanged") << c.what;
  }
}

}  // namespace
