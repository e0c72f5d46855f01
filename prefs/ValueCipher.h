#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// How one stored value is sealed. The stored form is a fresh random 16-byte IV followed by
// AES-256-CBC (PKCS padding) over MD5(value) followed by the value, so a wrong key, a cut or a
// flipped byte is seen by the digest and reads as "no value", never as garbage. The key of a
// value is SHA-256(machine signature, NUL, domain, NUL, subdomain).
//
// The key is tied to the machine and its user only to obscure: anyone who can read the database
// can also read the machine id and compute the key. The file's mode 0600 is what keeps other users
// out. Stateless apart from the key; any thread; nothing throws.
namespace prefs {

class ValueCipher {
 public:
  static constexpr size_t kKeyBytes = 32;
  static constexpr size_t kBlockBytes = 16;
  static constexpr size_t kMaxValueBytes = 1u << 20;
  // IV, digest, the largest value and a full padding block.
  static constexpr size_t kMaxSealedBytes = kBlockBytes + 16 + kMaxValueBytes + kBlockBytes;

  using Key = std::array<uint8_t, kKeyBytes>;

  explicit ValueCipher(const Key& key) : key_(key) {}
  static Key deriveKey(const std::string& machineSignature, const std::string& domain,
                       const std::string& subdomain);

  // False when the value is over kMaxValueBytes or the cipher fails.
  bool seal(const std::string& value, std::string& sealed) const;
  // False, `value` unchanged, for anything that is not a value sealed with this key.
  bool open(const uint8_t* sealed, size_t size, std::string& value) const;

 private:
  Key key_;
};

}  // namespace prefs
