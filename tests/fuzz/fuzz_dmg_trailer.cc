// Reads arbitrary bytes as a disk image: the trailer may point anywhere, claim any length, or not
// be there at all. The reader may only refuse; what it reads lies inside the file, and the value
// it finds lies inside what it read.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/context/DmgTrailer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  int fd = memfd_create("image", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (write(fd, data, size) != static_cast<ssize_t>(size)) {
    close(fd);
    return 0;
  }
  std::string plist;
  if (readDmgPropertyList(fd, plist) == DmgReadStatus::kRead) {
    if (plist.size() + kDmgTrailerSize > size) std::abort();
    std::string value;
    if (findProductDetails(plist, value) && value.size() >= plist.size()) std::abort();
  }
  close(fd);
  return 0;
}
