// Extracts arbitrary bytes as a zip archive. Whatever the archive holds, nothing may appear beside
// the destination folder: not in the folder next to it, not in the folder that holds both.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "foundation/files/UnzipHandler.h"

namespace fs = std::filesystem;

namespace {

// One private folder per fuzzing process: archive.zip, dest/, outside/ and tmp/.
const fs::path& root() {
  // Never destroyed, so that the exit handler can still use it.
  static const fs::path* const path = [] {
    std::string pattern = (fs::temp_directory_path() / "wend-fuzz-zip-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    return new fs::path(pattern);
  }();
  static const bool cleanedAtExit = std::atexit([] {
                                      std::error_code ignored;
                                      fs::remove_all(*path, ignored);
                                    }) == 0;
  (void)cleanedAtExit;
  return *path;
}

void check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz_zip: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path archive = root() / "archive.zip", dest = root() / "dest";
  fs::remove_all(dest);
  fs::create_directories(root() / "outside");
  fs::create_directories(root() / "tmp");
  std::ofstream(archive, std::ios::binary)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  files::UnzipSettings settings;
  settings.attempts = 1;
  settings.retryDelay = std::chrono::milliseconds(0);
  settings.temporaryTemplate = (root() / "tmp/orvzip.temp.XXXXXX").string();
  {
    UnzipHandler handler(nullptr, nullptr, settings);
    handler.extract(archive.c_str(), dest.c_str(), false, UnzipHandler::kEntryMode);
  }
  check(fs::is_empty(root() / "outside"), "an entry landed beside the destination");
  check(fs::is_empty(root() / "tmp"), "a temporary file stayed");
  size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(root())) {
    (void)entry;
    ++entries;
  }
  check(entries <= 4, "an entry landed in the folder above the destination");
  fs::remove_all(dest);
  return 0;
}
