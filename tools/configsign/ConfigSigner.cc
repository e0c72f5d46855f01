#include "tools/configsign/ConfigSigner.h"

#include <cryptopp/base64.h>
#include <cryptopp/osrng.h>
#include <cryptopp/pssr.h>
#include <cryptopp/sha.h>
#include <openssl/evp.h>

#include <fstream>
#include <iterator>

namespace configsign {
namespace {

constexpr size_t kLargestSignedFile = (size_t{1} << 20) - 1;

bool md5(const std::string& bytes, std::string& digest) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!EVP_Digest(bytes.data(), bytes.size(), out, &length, EVP_md5(), nullptr)) return false;
  digest.assign(reinterpret_cast<const char*>(out), length);
  return true;
}

}  // namespace

bool signatureDocument(const CryptoPP::RSA::PrivateKey& key, const std::string& path,
                       std::string& document, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (!file.good() && !file.eof()) {
    error = "cannot read " + path;
    return false;
  }
  if (bytes.empty() || bytes.size() > kLargestSignedFile) {
    error = path + ": only files of 1 to 1048575 bytes can be signed";
    return false;
  }
  std::string digest;
  if (!md5(bytes, digest)) {
    error = "MD5 failed";
    return false;
  }
  try {
    CryptoPP::AutoSeededRandomPool random;
    CryptoPP::RSASS<CryptoPP::PSSR, CryptoPP::SHA1>::Signer signer(key);
    CryptoPP::SecByteBlock signature(signer.MaxSignatureLength());
    size_t length = signer.SignMessageWithRecovery(
        random, reinterpret_cast<const CryptoPP::byte*>(digest.data()), digest.size(), nullptr, 0,
        signature);
    std::string text;
    CryptoPP::StringSource(signature.data(), length, true,
                           new CryptoPP::Base64Encoder(new CryptoPP::StringSink(text), false));
    document = "<Signature>\n  <FileSize>" + std::to_string(bytes.size()) +
               "</FileSize>\n  <CheckSum>" + text + "</CheckSum>\n</Signature>\n";
    return true;
  } catch (const CryptoPP::Exception& e) {
    error = e.what();
    return false;
  }
}

}  // namespace configsign
