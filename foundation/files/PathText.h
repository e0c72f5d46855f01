#pragma once

#include <string>

// POSIX dirname and basename on path text, without touching the file system or the argument.
// Pure functions; callable from any thread.
namespace files {

// "a/b/" -> "a", "a" -> ".", "/a" -> "/", "/" -> "/", "" -> ".".
std::string dirName(const std::string& path);
// "a/b/" -> "b", "/" -> "/", "" -> "".
std::string baseName(const std::string& path);

}  // namespace files
