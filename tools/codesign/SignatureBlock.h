#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The signature that `sign` appends to a file and `codesign` checks: the file's own bytes, then a
// detached CMS (PKCS#7) signature over them in DER, then a 16-byte trailer: the DER's length as a
// big-endian 64-bit number and the magic "WENDSIG1". Pure functions; callable from any thread.
namespace codesign {

inline constexpr char kMagic[] = "WENDSIG1";
inline constexpr size_t kTrailerSize = 16;
// A CMS signature with its certificate chain is a few kilobytes.
inline constexpr uint64_t kMaximumSignatureSize = 1 << 20;

struct SignedParts {
  std::string_view content;
  std::string_view signature;  // DER
};

// Splits a signed file. False when it carries no well-formed trailer (an unsigned file) or the
// length it names does not fit in the file or the limit.
bool splitSigned(std::string_view file, SignedParts& parts);

// The signature block and trailer to append to content.
std::string signatureBlock(std::string_view der);

}  // namespace codesign
