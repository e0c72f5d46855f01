#pragma once

#include <string>
#include <string_view>

// Reading a bundle's information property list: a bundle's Contents/Info.plist, or the copy a
// library carries in its "__info_plist" section. XML or binary form (see PropertyList.h).
// Stateless; callable from any thread.
namespace platform {

// Libraries carry their property list in this section.
inline constexpr char kInfoPlistSection[] = "__info_plist";
// A property list is a few kilobytes; anything far larger is not one.
inline constexpr size_t kInfoPlistMaximumSize = 1 << 20;

// The string value of `key` in the top-level dictionary. False, `value` unchanged, when the text
// is not such a property list or the key is missing or not a string.
bool infoPlistString(std::string_view plist, const char* key, std::string& value);

// infoPlistString on the bundle folder's Contents/Info.plist (read without following a link at
// its last component, and only up to kInfoPlistMaximumSize).
bool bundleInfoString(const std::string& bundlePath, const char* key, std::string& value);

// infoPlistString for "CFBundleVersion".
bool bundleVersionFromInfoPlist(std::string_view plist, std::string& version);

}  // namespace platform
