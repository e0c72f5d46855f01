// Makes the throw-away signing identities the tests use, at build time, into one folder:
//   trusted.pem                  the trusted root "Wend Test Root CA"
//   chain.pem                    the intermediate "Wend Test Developer ID CA", signed by the root
//   orvel.key, orvel.pem         "Developer ID Application: Orvel Systems, Inc.", by the
//   intermediate other.key, other.pem         "Developer ID Application: Fernhill Tools Ltd", by
//   the intermediate rogue.key, rogue.pem         the maker's name again, but under the untrusted
//   "Rogue Root CA" testkeys <folder>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Certificate = std::unique_ptr<X509, decltype(&X509_free)>;

struct Identity {
  Key key{nullptr, &EVP_PKEY_free};
  Certificate certificate{nullptr, &X509_free};
};

bool addExtension(X509* certificate, X509* issuer, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  if (!extension) return false;
  bool added = X509_add_ext(certificate, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return added;
}

// A certificate for `name`, signed by `issuer` (itself when null). Valid for ten years.
bool makeIdentity(const char* name, bool authority, const Identity* issuer, long serial,
                  Identity& out) {
  out.key.reset(EVP_EC_gen("P-256"));
  out.certificate.reset(X509_new());
  X509* certificate = out.certificate.get();
  if (!out.key || !certificate) return false;
  X509* issuerCertificate = issuer ? issuer->certificate.get() : certificate;
  EVP_PKEY* signingKey = issuer ? issuer->key.get() : out.key.get();
  X509_NAME* subject = X509_get_subject_name(certificate);
  return X509_set_version(certificate, 2) == 1 &&
         ASN1_INTEGER_set(X509_get_serialNumber(certificate), serial) == 1 &&
         X509_gmtime_adj(X509_getm_notBefore(certificate), -3600) &&
         X509_gmtime_adj(X509_getm_notAfter(certificate), 10L * 365 * 24 * 3600) &&
         X509_set_pubkey(certificate, out.key.get()) == 1 &&
         X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8,
                                    reinterpret_cast<const unsigned char*>(name), -1, -1, 0) == 1 &&
         X509_set_issuer_name(certificate, X509_get_subject_name(issuerCertificate)) == 1 &&
         addExtension(certificate, issuerCertificate, NID_basic_constraints,
                      authority ? "critical,CA:TRUE" : "critical,CA:FALSE") &&
         addExtension(certificate, issuerCertificate, NID_key_usage,
                      authority ? "critical,keyCertSign,cRLSign" : "critical,digitalSignature") &&
         X509_sign(certificate, signingKey, EVP_sha256()) > 0;
}

bool writeCertificate(const std::string& path, const Identity& identity) {
  std::unique_ptr<FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "w"), &std::fclose);
  return file && PEM_write_X509(file.get(), identity.certificate.get()) == 1;
}

bool writeKey(const std::string& path, const Identity& identity) {
  std::unique_ptr<FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "w"), &std::fclose);
  return file && PEM_write_PrivateKey(file.get(), identity.key.get(), nullptr, nullptr, 0, nullptr,
                                      nullptr) == 1;
}

bool writeSigner(const std::string& folder, const char* stem, const Identity& identity) {
  return writeKey(folder + "/" + stem + ".key", identity) &&
         writeCertificate(folder + "/" + stem + ".pem", identity);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: testkeys <folder>\n");
    return 2;
  }
  const std::string folder = argv[1];
  Identity root, intermediate, orvel, other, rogueRoot, rogue;
  bool made =
      makeIdentity("Wend Test Root CA", true, nullptr, 1, root) &&
      makeIdentity("Wend Test Developer ID CA", true, &root, 2, intermediate) &&
      makeIdentity("Developer ID Application: Orvel Systems, Inc.", false, &intermediate, 3,
                   orvel) &&
      makeIdentity("Developer ID Application: Fernhill Tools Ltd", false, &intermediate, 4,
                   other) &&
      makeIdentity("Rogue Root CA", true, nullptr, 5, rogueRoot) &&
      makeIdentity("Developer ID Application: Orvel Systems, Inc.", false, &rogueRoot, 6, rogue);
  bool written = made && writeCertificate(folder + "/trusted.pem", root) &&
                 writeCertificate(folder + "/chain.pem", intermediate) &&
                 writeSigner(folder, "orvel", orvel) && writeSigner(folder, "other", other) &&
                 writeSigner(folder, "rogue", rogue);
  if (!written) {
    std::fprintf(stderr, "testkeys: cannot make the identities in %s\n", folder.c_str());
    return 1;
  }
  return 0;
}
