#include "foundation/files/PathText.h"

namespace files {
namespace {

// The path without trailing slashes, keeping a lone "/".
std::string trimmed(const std::string& path) {
  size_t end = path.find_last_not_of('/');
  if (end == std::string::npos) return path.empty() ? path : "/";
  return path.substr(0, end + 1);
}

}  // namespace

std::string dirName(const std::string& path) {
  std::string text = trimmed(path);
  if (text == "/") return text;
  size_t slash = text.rfind('/');
  if (slash == std::string::npos) return ".";
  size_t end = text.find_last_not_of('/', slash);
  return end == std::string::npos ? "/" : text.substr(0, end + 1);
}

std::string baseName(const std::string& path) {
  std::string text = trimmed(path);
  if (text == "/") return text;
  size_t slash = text.rfind('/');
  return slash == std::string::npos ? text : text.substr(slash + 1);
}

}  // namespace files
