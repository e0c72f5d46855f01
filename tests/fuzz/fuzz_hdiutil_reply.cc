// Reads arbitrary bytes as the reply of "hdiutil info -plist" (XML or binary property list). The
// lookup may only fail; an image it names is never empty.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/context/SelfDiskImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string reply(reinterpret_cast<const char*>(data), size);
  for (const char* volume : {"/Volumes/Tarn", "/dev/disk2s1", ""}) {
    std::string image;
    if (imagePathFromInfo(reply, volume, image) && image.empty()) std::abort();
  }
  return 0;
}
