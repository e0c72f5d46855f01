#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Reading one named section of an ELF64 little-endian file, the way a shared object carries
// data that the build embedded. Every offset and size taken from the file is checked against the
// file's size, so a truncated or hostile file gives kNotFound and never a read out of bounds.
// Stateless; callable from any thread.
namespace platform {

enum class ElfReadStatus : int {
  kFound = 0,
  kOpenFailed = 1,
  kStatFailed = 2,
  kMapFailed = 3,
  kNotFound = 4,  // not ELF64 little-endian, malformed, or no such section with file data
};

// The section's bytes, at most `maximumSize` of them (a larger section counts as not found).
// `contents` is written only on kFound.
ElfReadStatus readElfSection(const std::string& path, std::string_view name, size_t maximumSize,
                             std::string& contents);

// The same on bytes already in memory.
bool findElfSection(std::string_view file, std::string_view name, std::string_view& section);

}  // namespace platform
