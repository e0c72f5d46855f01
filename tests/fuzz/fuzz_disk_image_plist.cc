// Reads arbitrary bytes as a property list from the disk-image tool, in both forms a reader may
// accept, and walks every array and the members the readers look up. Parsing may only fail; a
// string it gives is whole, well-formed UTF-8, and a tool reply is never binary.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/plist/PropertyList.h"

namespace {

const char* const kKeys[] = {"images",    "system-entities", "image-path", "mount-point",
                             "dev-entry", "framework",       "_items",     "spdisplays_ndrvs"};

void walk(const platform::PlistNode& node, size_t depth) {
  if (depth > platform::kPropertyListMaximumDepth) std::abort();
  std::string text;
  if (node.stringValue(text) && text.find('\0') != std::string::npos) std::abort();
  for (size_t i = 0; i < node.size(); ++i) walk(node.at(i), depth + 1);
  for (const char* key : kKeys) {
    if (!node.member(key).isNull()) walk(node.member(key), depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (platform::PlistForms forms :
       {platform::PlistForms::kXmlOnly, platform::PlistForms::kXmlOrBinary}) {
    platform::PropertyList list;
    if (!list.parse(bytes, forms)) continue;
    if (forms == platform::PlistForms::kXmlOnly && bytes.starts_with("bplist")) std::abort();
    walk(list.root(), 1);
  }
  return 0;
}
