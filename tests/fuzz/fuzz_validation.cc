// Reads arbitrary bytes as a validation document from a file, as the manager does, and checks
// segments cut from the same bytes against a validator that parsed.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "download/pdm/documents/ValidatorFactory.h"

namespace pdm = orvel::PackageDownloadManager;

namespace {

// One file for the whole run, rewritten for each input and removed at exit.
const std::string& documentPath() {
  static const std::string path = [] {
    char pattern[] = "/tmp/fuzz_validation.XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0) abort();
    close(fd);
    std::string made = pattern;
    atexit([] { unlink(documentPath().c_str()); });
    return made;
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* file = fopen(documentPath().c_str(), "wb");
  if (file == nullptr) abort();
  if (size > 0 && fwrite(data, 1, size, file) != size) abort();
  fclose(file);
  auto validator = pdm::ValidatorFactory().createFromXML(documentPath());
  if (!validator) return 0;
  validator->getFileSize();
  const uint32_t segment = validator->getSegmentSize();
  const auto length = static_cast<uint32_t>(std::min<size_t>(size, segment));
  for (uint32_t index = 0; index < 4; ++index) validator->validateSegment(data, length, index);
  return 0;
}
