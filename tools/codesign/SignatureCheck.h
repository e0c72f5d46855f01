#pragma once

#include <string>
#include <string_view>
#include <vector>

// Verifies the signature appended to a file (see SignatureBlock.h) against a set of trusted
// certificates and reports the verified signer chain. Uses OpenSSL; callable from any thread.
namespace codesign {

enum class CheckStatus : int {
  kVerified = 0,
  kUnsigned = 1,      // no signature block
  kInvalid = 2,       // the signature does not match the content, or is malformed
  kUntrusted = 3,     // well formed, but the signer does not chain to a trusted certificate
  kNoTrustStore = 4,  // the trusted certificates could not be read
};
const char* checkStatusText(CheckStatus status);

// `authorities` receives the common names of the chain, signer first, trusted root last.
CheckStatus checkSignature(std::string_view file, const std::string& trustedCertificatesPem,
                           std::vector<std::string>& authorities);

}  // namespace codesign
