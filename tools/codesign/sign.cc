// Signs a file in place for the codesign stand-in: appends a detached CMS signature over the
// file's bytes, made with the given key and certificate, carrying the certificate and any chain
// certificates. An earlier signature is replaced.
//   sign --key <key.pem> --cert <cert.pem> [--chain <certs.pem>] <file>
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/pem.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "tools/codesign/FileBytes.h"
#include "tools/codesign/SignatureBlock.h"

namespace {

struct Options {
  std::string key, certificate, chain, file;
};

bool parse(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    std::string* target = argument == "--key"     ? &options.key
                          : argument == "--cert"  ? &options.certificate
                          : argument == "--chain" ? &options.chain
                                                  : nullptr;
    if (target && i + 1 < argc) {
      *target = argv[++i];
    } else if (!target && options.file.empty() && argument.rfind("--", 0) != 0) {
      options.file = argument;
    } else {
      return false;
    }
  }
  return !options.key.empty() && !options.certificate.empty() && !options.file.empty();
}

std::string sign(const std::string& content, const Options& options) {
  std::unique_ptr<BIO, decltype(&BIO_free_all)> keyFile(BIO_new_file(options.key.c_str(), "r"),
                                                        &BIO_free_all);
  std::unique_ptr<BIO, decltype(&BIO_free_all)> certFile(
      BIO_new_file(options.certificate.c_str(), "r"), &BIO_free_all);
  if (!keyFile || !certFile) return {};
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
      PEM_read_bio_PrivateKey(keyFile.get(), nullptr, nullptr, nullptr), &EVP_PKEY_free);
  std::unique_ptr<X509, decltype(&X509_free)> certificate(
      PEM_read_bio_X509(certFile.get(), nullptr, nullptr, nullptr), &X509_free);
  auto freeChain = [](STACK_OF(X509) * chain) { sk_X509_pop_free(chain, X509_free); };
  std::unique_ptr<STACK_OF(X509), decltype(freeChain)> chain(sk_X509_new_null(), freeChain);
  if (!options.chain.empty()) {
    std::unique_ptr<BIO, decltype(&BIO_free_all)> chainFile(
        BIO_new_file(options.chain.c_str(), "r"), &BIO_free_all);
    if (!chainFile) return {};
    while (X509* extra = PEM_read_bio_X509(chainFile.get(), nullptr, nullptr, nullptr)) {
      sk_X509_push(chain.get(), extra);
    }
  }
  std::unique_ptr<BIO, decltype(&BIO_free_all)> data(
      BIO_new_mem_buf(content.data(), static_cast<int>(content.size())), &BIO_free_all);
  if (!key || !certificate || !data) return {};
  std::unique_ptr<CMS_ContentInfo, decltype(&CMS_ContentInfo_free)> cms(
      CMS_sign(certificate.get(), key.get(), chain.get(), data.get(), CMS_BINARY | CMS_DETACHED),
      &CMS_ContentInfo_free);
  unsigned char* der = nullptr;
  int length = cms ? i2d_CMS_ContentInfo(cms.get(), &der) : -1;
  if (length <= 0) return {};
  std::string out(reinterpret_cast<char*>(der), static_cast<size_t>(length));
  OPENSSL_free(der);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: sign --key <key.pem> --cert <cert.pem> [--chain <certs.pem>] <file>\n");
    return 2;
  }
  std::string bytes;
  if (!codesign::readWholeFile(options.file, bytes)) {
    std::fprintf(stderr, "sign: cannot read %s\n", options.file.c_str());
    return 1;
  }
  codesign::SignedParts earlier;
  std::string content =
      codesign::splitSigned(bytes, earlier) ? std::string(earlier.content) : bytes;
  std::string der = sign(content, options);
  if (der.empty() ||
      !codesign::writeWholeFile(options.file, content + codesign::signatureBlock(der))) {
    std::fprintf(stderr, "sign: cannot sign %s\n", options.file.c_str());
    return 1;
  }
  return 0;
}
