#include "foundation/files/ZipEntryName.h"

#include <algorithm>
#include <cstring>

namespace files {

std::string zipSlashName(const std::string& rawName) {
  std::string name(rawName.c_str(), std::strlen(rawName.c_str()));
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

bool zipNameParts(const std::string& name, std::vector<std::string>& parts) {
  parts.clear();
  if (!name.empty() && name.front() == '/') return false;
  std::string::size_type start = 0;
  while (start <= name.size()) {
    std::string::size_type end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    std::string part = name.substr(start, end - start);
    if (part == "..") return false;
    if (!part.empty() && part != ".") parts.push_back(std::move(part));
    start = end + 1;
  }
  return true;
}

}  // namespace files
