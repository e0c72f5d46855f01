#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Entries that need the zip64 extension: larger than 4 GiB, or lying beyond 4 GiB in the archive.
// Their central record keeps 0xFFFFFFFF in a 32-bit field and the real value in a zip64 extra
// field. The minizip 1.1 that Debian ships compares those fields with (unsigned long)-1, which on
// 64-bit Linux never matches, so it neither reports nor uses the real values: it would read such
// an entry at the wrong place or stop after 4 GiB. The handler therefore finds the real values
// here and reads those entries itself, from the archive through zlib; every other entry goes
// through minizip. Stateless; callable from any thread.
namespace files {

struct Zip64Entry {
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  uint64_t localHeaderOffset = 0;
};

enum class Zip64Record {
  kNone,     // nothing in the record needs the extension: minizip reads it
  kFound,    // the real values are in the Zip64Entry
  kDamaged,  // the record or its zip64 extra does not hold together
};

// Looks at the central record at `centralOffset` of the archive open as `archiveFd`, whose extra
// field is `extra`.
Zip64Record findZip64Entry(int archiveFd, uint64_t centralOffset, const std::string& extra,
                           Zip64Entry& entry);

// Streams the data of such an entry, stored or deflated, through `sink` (pieces of at most 64
// KiB). False with `problem` set when the local header, the data, the size or the CRC do not
// hold, or when the sink refuses (`problem` empty then).
bool readZip64Entry(int archiveFd, const Zip64Entry& entry, uint32_t method, uint32_t crc,
                    const std::function<bool(const char*, size_t)>& sink, std::string& problem);

}  // namespace files
