#pragma once

#include <cstdint>
#include <string>

// Whole-file reading and writing for the code-signing tools. Callable from any thread.
namespace codesign {

// Files larger than this are not signed code we would check.
inline constexpr uint64_t kMaximumFileSize = uint64_t{1} << 30;

// False when the file cannot be read or is larger than kMaximumFileSize.
bool readWholeFile(const std::string& path, std::string& bytes);
// Replaces the file's contents; false on any failure.
bool writeWholeFile(const std::string& path, const std::string& bytes);

}  // namespace codesign
