#pragma once

#include "download/pdm/documents/ValidatorBase.h"

namespace orvel::PackageDownloadManager {

// Validator of algorithm "TYPE1": MD5 digests through OpenSSL's EVP interface. Stateless apart
// from its base; the hashing functions may run on many threads at once.
class MD5Validator final : public ValidatorBase {
 public:
  static constexpr const char* kAlgorithm = "TYPE1";
  static constexpr uint32_t kDigestLength = 16;

  MD5Validator() : ValidatorBase(kAlgorithm, 1) {}

  bool getHashString(const uint8_t* bytes, uint32_t length, std::string& out) const override;
  // `digestLength` is the room in `digest` on entry (at least 16), the digest's length on exit.
  bool getSignatureStringOfData(const uint8_t* bytes, uint32_t length, uint8_t* digest,
                                uint32_t& digestLength) const override;
};

}  // namespace orvel::PackageDownloadManager
