#pragma once

#include <cstddef>
#include <string>

// The file side of XMLParser: a bounded whole-file read and an atomic replace. Callable from any
// thread; nothing is kept open between calls.
namespace XMLFileIO {

// Reads the whole regular file, refusing one larger than `maxBytes` before reading it (and
// stopping at that bound should it grow meanwhile). Pipes, devices and folders are refused. On
// failure `error` describes why and `bytes` is unchanged.
bool readWholeFile(const std::string& path, size_t maxBytes, std::string& bytes,
                   std::string& error);

// Writes the bytes to a new file beside `path`, flushes it to disk and renames it over `path`, so
// a reader sees the old file or the new one, never a part. A symbolic link at `path` is replaced,
// not followed. The file keeps the mode of the file it replaces, else gets 0644.
bool replaceFileAtomically(const std::string& path, const std::string& bytes);

}  // namespace XMLFileIO
