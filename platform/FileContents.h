#pragma once

#include <cstddef>
#include <string>

// Bounded whole-file reads. Callable from any thread; nothing is kept open between calls.
namespace platform {

// Reads the whole regular file at `path`, refusing one larger than `maxBytes` before reading it
// (and stopping at that bound should it grow meanwhile). Pipes, devices and folders are refused
// without waiting or reading. On failure `error` says why and `bytes` is unchanged.
bool readRegularFile(const std::string& path, size_t maxBytes, std::string& bytes,
                     std::string& error);

}  // namespace platform
