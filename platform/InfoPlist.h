#pragma once

#include <string>
#include <string_view>

// Reading a bundle's information property list (XML form), as a library carries it in its
// "__info_plist" section. Stateless; callable from any thread.
namespace platform {

// Libraries carry their property list in this section.
inline constexpr char kInfoPlistSection[] = "__info_plist";
// A property list is a few kilobytes; anything far larger is not one.
inline constexpr size_t kInfoPlistMaximumSize = 1 << 20;

// The <string> value of the key "CFBundleVersion" in the top-level <dict>. False, `version`
// unchanged, when the text is not such a property list or the key is missing or not a string.
// No DTD is loaded, no entity substituted and nothing fetched from the network.
bool bundleVersionFromInfoPlist(std::string_view xml, std::string& version);

}  // namespace platform
