#include "foundation/files/Zip64Entry.h"

#include <algorithm>
#include <vector>

#include "foundation/text/InflateStream.h"
#include "platform/files/ByteOrder.h"
#include "platform/files/FileContents.h"

namespace files {
namespace {

constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kSentinel = 0xFFFFFFFF;
constexpr size_t kCentralSize = 46;
constexpr size_t kLocalSize = 30;
constexpr size_t kPiece = 65536;

// The zip64 block (header id 1) of an extra field, or null.
const unsigned char* zip64Block(const std::string& extra, size_t& size) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(extra.data());
  for (size_t at = 0; at + 4 <= extra.size();) {
    const size_t length = platform::loadLittle<uint16_t>(bytes + at + 2);
    if (at + 4 + length > extra.size()) return nullptr;
    if (platform::loadLittle<uint16_t>(bytes + at) == 1) {
      size = length;
      return bytes + at + 4;
    }
    at += 4 + length;
  }
  return nullptr;
}

}  // namespace

Zip64Record findZip64Entry(int archiveFd, uint64_t centralOffset, const std::string& extra,
                           Zip64Entry& entry) {
  size_t blockSize = 0;
  const unsigned char* block = zip64Block(extra, blockSize);
  if (!block) return Zip64Record::kNone;
  unsigned char record[kCentralSize];
  if (!platform::readFullyAt(archiveFd, centralOffset, record, sizeof record) ||
      platform::loadLittle<uint32_t>(record) != kCentralSignature) {
    return Zip64Record::kDamaged;
  }
  // The block holds, in this order, a value for each of these fields that holds the sentinel.
  uint64_t values[3] = {platform::loadLittle<uint32_t>(record + 24),
                        platform::loadLittle<uint32_t>(record + 20),
                        platform::loadLittle<uint32_t>(record + 42)};
  size_t used = 0;
  bool extended = false;
  for (uint64_t& value : values) {
    if (value != kSentinel) continue;
    if (used + 8 > blockSize) return Zip64Record::kDamaged;
    value = platform::loadLittle<uint64_t>(block + used);
    used += 8;
    extended = true;
  }
  if (!extended) return Zip64Record::kNone;
  entry = Zip64Entry{values[1], values[0], values[2]};
  return Zip64Record::kFound;
}

bool readZip64Entry(int archiveFd, const Zip64Entry& entry, uint32_t method, uint32_t crc,
                    const std::function<bool(const char*, size_t)>& sink, std::string& problem) {
  unsigned char local[kLocalSize];
  if (!platform::readFullyAt(archiveFd, entry.localHeaderOffset, local, sizeof local) ||
      platform::loadLittle<uint32_t>(local) != kLocalSignature) {
    problem = "no local header";
    return false;
  }
  if (method != 0 && method != Z_DEFLATED) {
    problem = "unsupported compression method";
    return false;
  }
  StringUtils::InflateStream inflater(-MAX_WBITS);
  if (!inflater.ready()) {
    problem = "no inflater";
    return false;
  }
  z_stream& stream = inflater.get();
  std::vector<char> in(kPiece), out(kPiece);
  uint64_t offset = entry.localHeaderOffset + kLocalSize +
                    platform::loadLittle<uint16_t>(local + 26) +
                    platform::loadLittle<uint16_t>(local + 28);
  uint64_t remaining = entry.compressedSize, produced = 0;
  uLong sum = crc32(0, nullptr, 0);
  bool ended = method == 0;
  auto deliver = [&](const char* data, size_t size) {
    if (size > entry.uncompressedSize - produced) {
      problem = "more data than the entry's record says";
      return false;
    }
    sum = crc32(sum, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(size));
    produced += size;
    return sink(data, size);
  };
  while (remaining > 0 && !(method != 0 && ended)) {
    const size_t size = static_cast<size_t>(std::min<uint64_t>(remaining, in.size()));
    if (!platform::readFullyAt(archiveFd, offset, in.data(), size)) {
      problem = "the archive ends inside the entry";
      return false;
    }
    offset += size;
    remaining -= size;
    if (method == 0) {
      if (!deliver(in.data(), size)) return false;
      continue;
    }
    stream.next_in = reinterpret_cast<Bytef*>(in.data());
    stream.avail_in = static_cast<uInt>(size);
    do {
      stream.next_out = reinterpret_cast<Bytef*>(out.data());
      stream.avail_out = static_cast<uInt>(out.size());
      const int result = inflate(&stream, Z_NO_FLUSH);
      if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
        problem = "damaged compressed data";
        return false;
      }
      const size_t got = out.size() - stream.avail_out;
      if (got > 0 && !deliver(out.data(), got)) return false;
      ended = result == Z_STREAM_END;
    } while (stream.avail_out == 0 && !ended);
  }
  if (!ended || produced != entry.uncompressedSize || sum != crc) {
    problem = "size or CRC differs from the entry's record";
    return false;
  }
  return true;
}

}  // namespace files
