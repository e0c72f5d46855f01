#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Bounded whole-file reads, and exact reads at an offset of an open file. Callable from any thread;
// nothing is kept open between calls.
namespace platform {

// Whether a link at the path's last component is followed.
enum class LastLink { kFollow, kRefuse };

// Reads the whole regular file at `path`, refusing one larger than `maxBytes` before reading it
// (and stopping at that bound should it grow meanwhile). Pipes, devices and folders are refused
// without waiting or reading. On failure `error` says why and `bytes` is unchanged.
bool readRegularFile(const std::string& path, size_t maxBytes, std::string& bytes,
                     std::string& error, LastLink lastLink = LastLink::kFollow);

// Reads exactly `size` bytes at `offset` of `fd` into `data`, retrying short reads and
// interruptions. False on a read error or when the file ends first; `data` is then partly written.
bool readFullyAt(int fd, uint64_t offset, void* data, size_t size);

}  // namespace platform
