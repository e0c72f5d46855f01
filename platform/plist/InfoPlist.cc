#include "platform/plist/InfoPlist.h"

#include "platform/files/FileContents.h"
#include "platform/plist/PropertyList.h"

namespace platform {

bool infoPlistString(std::string_view plist, const char* key, std::string& value) {
  if (plist.size() > kInfoPlistMaximumSize) return false;
  PropertyList list;
  return list.parse(plist, PlistForms::kXmlOrBinary) && list.root().member(key).stringValue(value);
}

bool bundleInfoString(const std::string& bundlePath, const char* key, std::string& value) {
  std::string bytes, error;
  return readRegularFile(bundlePath + "/Contents/Info.plist", kInfoPlistMaximumSize, bytes, error,
                         LastLink::kRefuse) &&
         infoPlistString(bytes, key, value);
}

bool bundleVersionFromInfoPlist(std::string_view plist, std::string& version) {
  return infoPlistString(plist, "CFBundleVersion", version);
}

}  // namespace platform
