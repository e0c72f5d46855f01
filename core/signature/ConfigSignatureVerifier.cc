#include "core/signature/ConfigSignatureVerifier.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>

#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/base64.h>
#include <cryptopp/filters.h>
#include <cryptopp/md5.h>
#include <cryptopp/pssr.h>
#include <cryptopp/rsa.h>
#include <cryptopp/sha.h>

#include "platform/files/FileContents.h"

namespace {

using Verifier = CryptoPP::RSASS<CryptoPP::PSSR, CryptoPP::SHA1>::Verifier;

// Steps past the file: the key, the signature's decoding and the recovery of its message.
uint32_t checkSignature(const SignatureCheckInput& input, const std::array<uint8_t, 16>& digest) {
  CryptoPP::RSA::PublicKey key;
  key.Initialize(CryptoPP::Integer(input.modulus, input.modulusLength),
                 CryptoPP::Integer(input.exponent, input.exponentLength));
  Verifier verifier(key);
  std::string decoded;
  CryptoPP::StringSource source(input.signature, true,
                                new CryptoPP::Base64Decoder(new CryptoPP::StringSink(decoded)));
  CryptoPP::SecByteBlock recovered(
      verifier.MaxRecoverableLengthFromSignatureLength(decoded.size()));
  CryptoPP::DecodingResult result = verifier.RecoverMessage(
      recovered, nullptr, 0, reinterpret_cast<const CryptoPP::byte*>(decoded.data()),
      decoded.size());
  if (!result.isValidCoding) return kSignatureInvalidCoding;
  bool same = result.messageLength == digest.size() &&
              std::memcmp(recovered.data(), digest.data(), digest.size()) == 0;
  return same ? kSignatureVerified : kSignatureDigestMismatch;
}

}  // namespace

uint32_t ReadSignedFileData(const std::string& path, uint64_t& actualSize, std::string& bytes) {
  std::string error;
  if (!platform::readRegularFile(path, kSignedFileLimit - 1, bytes, error) || bytes.empty()) {
    return kSignatureUnreadable;
  }
  actualSize = bytes.size();
  return kSignatureVerified;
}

std::array<uint8_t, 16> DigestSignedFileData(const std::string& bytes) {
  std::array<uint8_t, 16> digest{};
  CryptoPP::Weak1::MD5().CalculateDigest(
      digest.data(), reinterpret_cast<const CryptoPP::byte*>(bytes.data()), bytes.size());
  return digest;
}

uint64_t parseSignedFileSize(const std::string& text) {
  errno = 0;
  unsigned long long value = std::strtoull(text.c_str(), nullptr, 0);
  // strtoull takes a sign and wraps negative numbers round; neither is a size.
  if (errno == ERANGE || text.find('-') != std::string::npos) return 0;
  return value;
}

uint32_t ConfigSignatureVerifier(const SignatureCheckInput& input, std::string* verifiedBytes) {
  if (!input.modulus || input.modulusLength == 0 || !input.exponent || input.exponentLength == 0 ||
      input.expectedSize == 0 || input.signature.empty()) {
    return kSignatureMissingInput;
  }
  try {
    uint64_t actualSize = 0;
    std::string bytes;
    if (uint32_t status = ReadSignedFileData(input.filePath, actualSize, bytes)) return status;
    if (actualSize != input.expectedSize) return kSignatureSizeMismatch;
    uint32_t status = checkSignature(input, DigestSignedFileData(bytes));
    if (status == kSignatureVerified && verifiedBytes) *verifiedBytes = std::move(bytes);
    return status;
  } catch (const std::exception&) {
    // Crypto++'s exceptions derive from std::exception; so does running out of memory.
    return kSignatureLibraryError;
  }
}
