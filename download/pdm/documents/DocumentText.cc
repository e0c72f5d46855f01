#include "download/pdm/documents/DocumentText.h"

namespace orvel::PackageDownloadManager {

uint64_t leadingNumber(const std::string& text, uint64_t limit) {
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (value > (limit - digit) / 10) return 0;
    value = value * 10 + digit;
  }
  return value;
}

std::string lastPathElement(const std::string& url) {
  const size_t slash = url.rfind('/');
  return slash == std::string::npos ? url : url.substr(slash + 1);
}

bool isUsableFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace orvel::PackageDownloadManager
