// Reads arbitrary bytes as both documents of the signed configuration: as "C3Config.sig" (its
// size and Base64 signature, the signature then checked against a fixed key over a small file)
// and as "C3Config.xml" (its properties). Nothing may crash or throw; a hostile signature only
// ever fails the check.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/context/TarnConfig.h"
#include "core/signature/ConfigSignatureVerifier.h"
#include "foundation/xml/XMLParser.h"

namespace {

// A file to check and a 3072-bit odd modulus with exponent 17; no real key.
struct Fixture {
  Fixture() : modulus(384, 0xA7) {
    modulus.back() = 0x3B;
    char pattern[] = "/tmp/fuzz-c3config-XXXXXX";
    int fd = mkstemp(pattern);
    if (fd < 0 || write(fd, "<C3Config/>", 11) != 11) std::abort();
    close(fd);
    path = pattern;
  }
  ~Fixture() { unlink(path.c_str()); }
  std::vector<uint8_t> modulus;
  std::vector<uint8_t> exponent{17};
  std::string path;
};

const Fixture& fixture() {
  static const Fixture instance;
  return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  XMLParser document;
  if (!document.initWithXMLString(text)) return 0;

  const C3ConfigSignature signature = readC3ConfigSignature(document);
  SignatureCheckInput input;
  input.filePath = fixture().path;
  input.expectedSize = 11;
  input.modulus = fixture().modulus.data();
  input.modulusLength = static_cast<uint32_t>(fixture().modulus.size());
  input.exponent = fixture().exponent.data();
  input.exponentLength = 1;
  input.signature = signature.checkSum.empty() ? text : signature.checkSum;
  if (ConfigSignatureVerifier(input) == kSignatureVerified) std::abort();

  ConfigStore config;
  if (!applyC3ConfigProperties(document, config) && !config.snapshot().empty()) std::abort();
  return 0;
}
