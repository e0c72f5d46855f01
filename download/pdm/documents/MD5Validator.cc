#include "download/pdm/documents/MD5Validator.h"

#include <openssl/evp.h>

#include "download/pdm/common/PDMLogger.h"

namespace orvel::PackageDownloadManager {

bool MD5Validator::getSignatureStringOfData(const uint8_t* bytes, uint32_t length, uint8_t* digest,
                                            uint32_t& digestLength) const {
  if ((bytes == nullptr && length != 0) || digest == nullptr || digestLength < kDigestLength) {
    return false;
  }
  unsigned int written = 0;
  if (EVP_Digest(bytes, length, digest, &written, EVP_md5(), nullptr) != 1) return false;
  digestLength = written;
  return true;
}

bool MD5Validator::getHashString(const uint8_t* bytes, uint32_t length, std::string& out) const {
  uint8_t digest[EVP_MAX_MD_SIZE];
  uint32_t digestLength = sizeof digest;
  if (!getSignatureStringOfData(bytes, length, digest, digestLength)) {
    pdmLog(pando::kLogError, "", "Failed in calling getSignatureStringOfData");
    return false;
  }
  char hex[2 * kDigestLength + 1];
  if (!getHashValueInHex(digest, digestLength, hex, sizeof hex)) {
    pdmLog(pando::kLogError, "", "Failed in calling getHashValueInHex");
    return false;
  }
  out.assign(hex);
  return true;
}

}  // namespace orvel::PackageDownloadManager
