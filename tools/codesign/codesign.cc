// The code-signing tool that wend runs as "codesign -dvv <file>": it verifies the signature
// appended to the file against the trusted certificates (the developer override
// WEND_CODESIGN_TRUST, default /etc/wend/codesign/trusted.pem) and, like the platform's tool,
// reports on standard error, one "Authority=" line per certificate of the verified chain, signer
// first. Exit status 0 only for a verified file; 1 for an unsigned, altered or untrusted one; 2 for
// a usage error.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/system/DeveloperOverrides.h"
#include "tools/codesign/FileBytes.h"
#include "tools/codesign/SignatureBlock.h"
#include "tools/codesign/SignatureCheck.h"

namespace {

constexpr char kDefaultTrust[] = "/etc/wend/codesign/trusted.pem";

// The elevated installer runs this tool with its own environment: only a build that honours
// developer overrides lets the environment choose what is trusted.
std::string trustedCertificates() {
  return platform::developerOverride("WEND_CODESIGN_TRUST").value_or(kDefaultTrust);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::strcmp(argv[1], "-dvv") != 0) {
    std::fprintf(stderr, "usage: codesign -dvv <file>\n");
    return 2;
  }
  const std::string path = argv[2];
  std::string bytes;
  if (!codesign::readWholeFile(path, bytes)) {
    std::fprintf(stderr, "%s: No such file or directory\n", path.c_str());
    return 1;
  }
  std::vector<std::string> authorities;
  codesign::CheckStatus status =
      codesign::checkSignature(bytes, trustedCertificates(), authorities);
  if (status != codesign::CheckStatus::kVerified) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), codesign::checkStatusText(status));
    return 1;
  }
  codesign::SignedParts parts;
  codesign::splitSigned(bytes, parts);
  const char* slash = std::strrchr(path.c_str(), '/');
  std::fprintf(stderr, "Executable=%s\nIdentifier=%s\nFormat=generic\n", path.c_str(),
               slash ? slash + 1 : path.c_str());
  for (const std::string& authority : authorities) {
    std::fprintf(stderr, "Authority=%s\n", authority.c_str());
  }
  std::fprintf(stderr, "Signature size=%zu\n", parts.signature.size());
  return 0;
}
