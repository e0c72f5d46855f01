#include "platform/InfoPlist.h"

#include "platform/PropertyList.h"

namespace platform {

bool infoPlistString(std::string_view plist, const char* key, std::string& value) {
  if (plist.size() > kInfoPlistMaximumSize) return false;
  PropertyList list;
  return list.parse(plist) && list.root().member(key).stringValue(value);
}

bool bundleVersionFromInfoPlist(std::string_view plist, std::string& version) {
  return infoPlistString(plist, "CFBundleVersion", version);
}

}  // namespace platform
