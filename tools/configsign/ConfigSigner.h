#pragma once

#include <cryptopp/rsa.h>

#include <string>

// Signs a configuration file the way the installer checks it: the MD5 digest of the whole file
// (computed with OpenSSL, apart from the installer's own digest code) is signed with
// RSASS<PSSR, SHA1> and written, with the file's size, as "C3Config.sig". Files of 1 MiB or more
// are refused: the installer does not trust them. Stateless; any thread.
namespace configsign {

// The "<Signature>" document for the file at `path`.
bool signatureDocument(const CryptoPP::RSA::PrivateKey& key, const std::string& path,
                       std::string& document, std::string& error);

}  // namespace configsign
