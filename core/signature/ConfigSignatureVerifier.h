#pragma once

#include <array>
#include <cstdint>
#include <string>

// The signature check of "C3Config.xml" against the Base64 text of "C3Config.sig": the file must
// have the expected size and an RSASS<PSSR, SHA1> signature must recover the MD5 digest of its
// bytes. Stateless; any thread. Nothing here logs or throws.

// Status codes, logged as numbers.
enum SignatureStatus : uint32_t {
  kSignatureVerified = 0,
  kSignatureLibraryError = 1,   // the signature library refused (a signature of the wrong length)
  kSignatureMissingInput = 2,   // no modulus, no exponent, expected size 0 or no signature text
  kSignatureInvalidCoding = 3,  // the signature is no valid message representative
  kSignatureUnreadable = 4,     // the file cannot be read, is empty or is kSignedFileLimit or more
  kSignatureSizeMismatch = 5,   // the file's size is not the expected size
  kSignatureDigestMismatch = 6  // the recovered message is not the file's digest
};

// Only files below this size are signed whole; larger ones are refused rather than checked by
// samples, which would leave the rest of the file unchecked.
inline constexpr uint64_t kSignedFileLimit = uint64_t{1} << 20;

struct SignatureCheckInput {
  uint32_t mode = 0;  // 0: verify a file, the only mode
  std::string filePath;
  uint64_t expectedSize = 0;
  const uint8_t* modulus = nullptr;  // big-endian, unsigned; not owned
  uint32_t modulusLength = 0;
  const uint8_t* exponent = nullptr;  // big-endian, unsigned; not owned
  uint32_t exponentLength = 0;
  std::string signature;  // Base64; characters outside the alphabet are skipped
};

// Reads the file once and checks it. On kSignatureVerified, `verifiedBytes` (when given) receives
// the very bytes that were checked, so a caller never reads the file a second time.
uint32_t ConfigSignatureVerifier(const SignatureCheckInput& input,
                                 std::string* verifiedBytes = nullptr);

// The whole file, read through one descriptor: kSignatureVerified, or kSignatureUnreadable when it
// cannot be opened or read, is no regular file, is empty or is kSignedFileLimit bytes or more.
// `actualSize` is the size found, set whenever the file could be examined.
uint32_t ReadSignedFileData(const std::string& path, uint64_t& actualSize, std::string& bytes);

// What the signature covers: the MD5 digest of the bytes.
std::array<uint8_t, 16> DigestSignedFileData(const std::string& bytes);

// "/Signature/FileSize" as a number: decimal, "0x" hexadecimal or "0" octal, reading as far as the
// text is a number; text that is not a number, or a value past 64 bits, is 0.
uint64_t parseSignedFileSize(const std::string& text);
