#include "mediation/helper/MD5Signature.h"

#include "download/pdm/documents/MD5Validator.h"

bool MD5Signature::getSignatureStringOfData(const uint8_t* data, size_t length,
                                            std::string& out) const {
  out.clear();
  orvel::PackageDownloadManager::MD5Validator().getHashString(data, static_cast<uint32_t>(length),
                                                              out);
  return true;
}
