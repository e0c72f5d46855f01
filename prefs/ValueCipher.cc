#include "prefs/ValueCipher.h"

#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/md5.h>
#include <cryptopp/misc.h>
#include <cryptopp/modes.h>
#include <cryptopp/osrng.h>
#include <cryptopp/sha.h>

namespace prefs {
namespace {

constexpr size_t kDigestBytes = CryptoPP::Weak::MD5::DIGESTSIZE;
static_assert(kDigestBytes == 16);

std::string md5Of(const std::string& text) {
  std::string digest(kDigestBytes, '\0');
  CryptoPP::Weak::MD5().CalculateDigest(reinterpret_cast<CryptoPP::byte*>(digest.data()),
                                        reinterpret_cast<const CryptoPP::byte*>(text.data()),
                                        text.size());
  return digest;
}

}  // namespace

ValueCipher::Key ValueCipher::deriveKey(const std::string& machineSignature,
                                        const std::string& domain, const std::string& subdomain) {
  const char nul = '\0';
  CryptoPP::SHA256 hash;
  hash.Update(reinterpret_cast<const CryptoPP::byte*>(machineSignature.data()),
              machineSignature.size());
  hash.Update(reinterpret_cast<const CryptoPP::byte*>(&nul), 1);
  hash.Update(reinterpret_cast<const CryptoPP::byte*>(domain.data()), domain.size());
  hash.Update(reinterpret_cast<const CryptoPP::byte*>(&nul), 1);
  hash.Update(reinterpret_cast<const CryptoPP::byte*>(subdomain.data()), subdomain.size());
  Key key;
  hash.Final(key.data());
  return key;
}

bool ValueCipher::seal(const std::string& value, std::string& sealed) const {
  if (value.size() > kMaxValueBytes) return false;
  try {
    std::string out(kBlockBytes, '\0');
    CryptoPP::AutoSeededRandomPool random;
    random.GenerateBlock(reinterpret_cast<CryptoPP::byte*>(out.data()), kBlockBytes);
    CryptoPP::CBC_Mode<CryptoPP::AES>::Encryption cipher(
        key_.data(), key_.size(), reinterpret_cast<const CryptoPP::byte*>(out.data()));
    CryptoPP::StringSource(
        md5Of(value) + value, true,
        new CryptoPP::StreamTransformationFilter(cipher, new CryptoPP::StringSink(out),
                                                 CryptoPP::BlockPaddingSchemeDef::PKCS_PADDING));
    sealed = std::move(out);
    return true;
  } catch (const CryptoPP::Exception&) {
    return false;
  }
}

bool ValueCipher::open(const uint8_t* sealed, size_t size, std::string& value) const {
  // At least the IV and the digest's own block; whole blocks only.
  if (!sealed || size < 2 * kBlockBytes || size > kMaxSealedBytes || size % kBlockBytes != 0) {
    return false;
  }
  std::string plain;
  try {
    CryptoPP::CBC_Mode<CryptoPP::AES>::Decryption cipher(key_.data(), key_.size(), sealed);
    CryptoPP::StringSource(
        sealed + kBlockBytes, size - kBlockBytes, true,
        new CryptoPP::StreamTransformationFilter(cipher, new CryptoPP::StringSink(plain),
                                                 CryptoPP::BlockPaddingSchemeDef::PKCS_PADDING));
  } catch (const CryptoPP::Exception&) {
    return false;
  }
  if (plain.size() < kDigestBytes) return false;
  std::string text = plain.substr(kDigestBytes);
  if (!CryptoPP::VerifyBufsEqual(reinterpret_cast<const CryptoPP::byte*>(plain.data()),
                                 reinterpret_cast<const CryptoPP::byte*>(md5Of(text).data()),
                                 kDigestBytes)) {
    return false;
  }
  value = std::move(text);
  return true;
}

}  // namespace prefs
