#include "tools/codesign/SignatureBlock.h"

namespace codesign {

bool splitSigned(std::string_view file, SignedParts& parts) {
  if (file.size() < kTrailerSize) return false;
  std::string_view trailer = file.substr(file.size() - kTrailerSize);
  if (trailer.substr(8) != std::string_view(kMagic, 8)) return false;
  uint64_t length = 0;
  for (size_t i = 0; i < 8; ++i) length = (length << 8) | static_cast<unsigned char>(trailer[i]);
  if (length == 0 || length > kMaximumSignatureSize || length > file.size() - kTrailerSize) {
    return false;
  }
  size_t signatureStart = file.size() - kTrailerSize - length;
  parts.content = file.substr(0, signatureStart);
  parts.signature = file.substr(signatureStart, length);
  return true;
}

std::string signatureBlock(std::string_view der) {
  std::string block(der);
  uint64_t length = der.size();
  for (int shift = 56; shift >= 0; shift -= 8) {
    block += static_cast<char>((length >> shift) & 0xFF);
  }
  block.append(kMagic, 8);
  return block;
}

}  // namespace codesign
