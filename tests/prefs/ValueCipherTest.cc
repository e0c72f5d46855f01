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

// Fresh IVs; a blob opens only with the key of its machine, domain and subdomain, and whole.
TEST(ValueCipher, OnlyAnUndamagedBlobUnderItsOwnKeyOpens) {
  EXPECT_NE(sealed("same").substr(0, 16), sealed("same").substr(0, 16));
  const std::string good = sealed("a value of some length, two blocks and more");
  struct Case {
    const char* what;
    std::string blob;
    ValueCipher::Key key = kKey;
  } cases[] = {
      {"other machine", good, ValueCipher::deriveKey("other machine", "PANDO", "ProxyCredentials")},
      {"other domain", good, ValueCipher::deriveKey("machine", "PANDO2", "ProxyCredentials")},
      {"other subdomain", good, ValueCipher::deriveKey("machine", "PANDO", "ProxyCredentials2")},
      {"boundaries moved", good, ValueCipher::deriveKey("machine", "PANDOP", "roxyCredentials")},
      {"empty", ""},
      {"IV only", good.substr(0, 16)},
      {"IV and part of a block", good.substr(0, 31)},
      {"IV and the first block", good.substr(0, 32)},
      {"last block cut", good.substr(0, good.size() - 16)},
      {"a block more", good + std::string(16, 'x')},
      {"digest flipped", good.substr(0, 20) + static_cast<char>(good[20] ^ 0x80) + good.substr(21)},
      {"random", std::string(64, '\x5a')},
  };
  for (const Case& c : cases) {
    std::string value = "unchanged";
    EXPECT_FALSE(ValueCipher(c.key).open(reinterpret_cast<const uint8_t*>(c.blob.data()),
                                         c.blob.size(), value))
        << c.what;
    EXPECT_EQ(value, "unchanged") << c.what;
  }
  std::string value;
  ASSERT_TRUE(
      ValueCipher(kKey).open(reinterpret_cast<const uint8_t*>(good.data()), good.size(), value));
  EXPECT_EQ(value, "a value of some length, two blocks and more");
}

}  // namespace
