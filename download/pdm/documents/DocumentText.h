#pragma once

#include <cstdint>
#include <string>

// Reading numbers and names out of the package documents' texts. Pure functions, any thread.
namespace orvel::PackageDownloadManager {

// The number spelt by the text's leading decimal digits; 0 when it has none or the number does
// not fit, so an oversized value is refused like a zero one.
uint64_t leadingNumber(const std::string& text, uint64_t limit = UINT64_MAX);
inline uint32_t leadingNumber32(const std::string& text) {
  return static_cast<uint32_t>(leadingNumber(text, UINT32_MAX));
}

// The text after the last "/" (all of it without one).
std::string lastPathElement(const std::string& url);

// Whether a name can stand for a file of its own inside a folder: not empty, ".", ".." and
// without "/".
bool isUsableFileName(const std::string& name);

}  // namespace orvel::PackageDownloadManager
