#include "tools/codesign/SignatureCheck.h"

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <memory>

#include "tools/codesign/SignatureBlock.h"

namespace codesign {
namespace {

template <typename T, void (*F)(T*)>
struct Deleter {
  void operator()(T* p) const { F(p); }
};
using Bio = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using Cms = std::unique_ptr<CMS_ContentInfo, Deleter<CMS_ContentInfo, CMS_ContentInfo_free>>;
using Store = std::unique_ptr<X509_STORE, Deleter<X509_STORE, X509_STORE_free>>;
using StoreContext = std::unique_ptr<X509_STORE_CTX, Deleter<X509_STORE_CTX, X509_STORE_CTX_free>>;

void freeCertificates(STACK_OF(X509) * certificates) {
  sk_X509_pop_free(certificates, X509_free);
}
using Certificates = std::unique_ptr<STACK_OF(X509), Deleter<STACK_OF(X509), freeCertificates>>;
void freeStack(STACK_OF(X509) * certificates) {
  sk_X509_free(certificates);
}
using Signers = std::unique_ptr<STACK_OF(X509), Deleter<STACK_OF(X509), freeStack>>;

Bio memory(std::string_view bytes) {
  return Bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
}

std::string commonName(X509* certificate) {
  X509_NAME* subject = X509_get_subject_name(certificate);
  int index = X509_NAME_get_index_by_NID(subject, NID_commonName, -1);
  unsigned char* text = nullptr;
  if (index < 0 || ASN1_STRING_to_UTF8(
                       &text, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, index))) < 0) {
    char line[512];
    X509_NAME_oneline(subject, line, sizeof line);
    return line;
  }
  std::string name(reinterpret_cast<char*>(text));
  OPENSSL_free(text);
  return name;
}

Store trustedStore(const std::string& pemFile) {
  Store store(X509_STORE_new());
  if (!store || X509_STORE_load_file(store.get(), pemFile.c_str()) != 1) return nullptr;
  // Code-signing certificates carry no e-mail protection purpose; the chain is what counts.
  X509_STORE_set_purpose(store.get(), X509_PURPOSE_ANY);
  return store;
}

// The signer's chain up to its trusted root, as the verification built it.
bool signerChain(CMS_ContentInfo* cms, X509_STORE* store, std::vector<std::string>& names) {
  Signers signers(CMS_get0_signers(cms));
  Certificates carried(CMS_get1_certs(cms));
  if (!signers || sk_X509_num(signers.get()) != 1) return false;
  StoreContext context(X509_STORE_CTX_new());
  if (!context ||
      X509_STORE_CTX_init(context.get(), store, sk_X509_value(signers.get(), 0), carried.get()) !=
          1 ||
      X509_verify_cert(context.get()) != 1) {
    return false;
  }
  Certificates chain(X509_STORE_CTX_get1_chain(context.get()));
  for (int i = 0; chain && i < sk_X509_num(chain.get()); ++i) {
    names.push_back(commonName(sk_X509_value(chain.get(), i)));
  }
  return !names.empty();
}

// Whether the failure lies in the certificates rather than in the signed bytes.
bool failedOnTrust() {
  unsigned long error = ERR_peek_last_error();
  return ERR_GET_LIB(error) == ERR_LIB_CMS &&
         ERR_GET_REASON(error) == CMS_R_CERTIFICATE_VERIFY_ERROR;
}

}  // namespace

const char* checkStatusText(CheckStatus status) {
  switch (status) {
    case CheckStatus::kVerified:
      return "valid on disk";
    case CheckStatus::kUnsigned:
      return "code object is not signed at all";
    case CheckStatus::kInvalid:
      return "invalid signature (code or signature have been modified)";
    case CheckStatus::kUntrusted:
      return "signer is not trusted";
    case CheckStatus::kNoTrustStore:
      return "trusted certificates cannot be read";
  }
  return "unknown";
}

CheckStatus checkSignature(std::string_view file, const std::string& trustedCertificatesPem,
                           std::vector<std::string>& authorities) {
  authorities.clear();
  SignedParts parts;
  if (!splitSigned(file, parts)) return CheckStatus::kUnsigned;
  Store store = trustedStore(trustedCertificatesPem);
  if (!store) return CheckStatus::kNoTrustStore;
  Bio der = memory(parts.signature);
  Cms cms(der ? d2i_CMS_bio(der.get(), nullptr) : nullptr);
  if (!cms || !CMS_is_detached(cms.get())) return CheckStatus::kInvalid;
  Bio content = memory(parts.content);
  ERR_clear_error();
  if (CMS_verify(cms.get(), nullptr, store.get(), content.get(), nullptr, CMS_BINARY) != 1) {
    return failedOnTrust() ? CheckStatus::kUntrusted : CheckStatus::kInvalid;
  }
  return signerChain(cms.get(), store.get(), authorities) ? CheckStatus::kVerified
                                                          : CheckStatus::kUntrusted;
}

}  // namespace codesign
