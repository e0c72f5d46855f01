#include "tools/testserver/TestCertificate.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>

namespace testserver {
namespace {

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;
using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Certificate = std::unique_ptr<X509, decltype(&X509_free)>;

bool addExtension(X509* certificate, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  if (extension == nullptr) return false;
  const bool added = X509_add_ext(certificate, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return added;
}

bool fillCertificate(X509* certificate, EVP_PKEY* key, long endsInSeconds) {
  X509_NAME* name = X509_get_subject_name(certificate);
  const auto* commonName = reinterpret_cast<const unsigned char*>("127.0.0.1");
  return X509_set_version(certificate, 2) == 1 &&
         ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1) == 1 &&
         X509_gmtime_adj(X509_getm_notBefore(certificate), -3600) != nullptr &&
         X509_gmtime_adj(X509_getm_notAfter(certificate), endsInSeconds) != nullptr &&
         X509_set_pubkey(certificate, key) == 1 &&
         X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, commonName, -1, -1, 0) == 1 &&
         X509_set_issuer_name(certificate, name) == 1 &&
         addExtension(certificate, NID_basic_constraints, "critical,CA:TRUE") &&
         addExtension(certificate, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost") &&
         X509_sign(certificate, key, EVP_sha256()) > 0;
}

}  // namespace

bool writeTestCertificate(const std::string& certificatePath, const std::string& keyPath,
                          long endsInSeconds) {
  Key key(EVP_EC_gen("P-256"), &EVP_PKEY_free);
  Certificate certificate(X509_new(), &X509_free);
  if (key == nullptr || certificate == nullptr ||
      !fillCertificate(certificate.get(), key.get(), endsInSeconds)) {
    return false;
  }
  File certificateFile(std::fopen(certificatePath.c_str(), "w"));
  File keyFile(std::fopen(keyPath.c_str(), "w"));
  return certificateFile != nullptr && keyFile != nullptr &&
         PEM_write_X509(certificateFile.get(), certificate.get()) == 1 &&
         PEM_write_PrivateKey(keyFile.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
}

}  // namespace testserver
