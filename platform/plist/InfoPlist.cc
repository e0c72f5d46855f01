#include "platform/plist/InfoPlist.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/UniqueFd.h"
#include "platform/plist/PropertyList.h"

namespace platform {

bool infoPlistString(std::string_view plist, const char* key, std::string& value) {
  if (plist.size() > kInfoPlistMaximumSize) return false;
  PropertyList list;
  return list.parse(plist, PlistForms::kXmlOrBinary) && list.root().member(key).stringValue(value);
}

bool bundleInfoString(const std::string& bundlePath, const char* key, std::string& value) {
  UniqueFd fd(open((bundlePath + "/Contents/Info.plist").c_str(),
                   O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (!fd.valid()) return false;
  std::string bytes(kInfoPlistMaximumSize + 1, '\0');
  size_t filled = 0;
  while (filled < bytes.size()) {
    ssize_t got = read(fd.get(), bytes.data() + filled, bytes.size() - filled);
    if (got < 0) return false;
    if (got == 0) break;
    filled += static_cast<size_t>(got);
  }
  bytes.resize(filled);
  return infoPlistString(bytes, key, value);
}

bool bundleVersionFromInfoPlist(std::string_view plist, std::string& version) {
  return infoPlistString(plist, "CFBundleVersion", version);
}

}  // namespace platform
