#include "foundation/files/Zip64Entry.h"

#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace files {
namespace {

constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kSentinel = 0xFFFFFFFF;
constexpr size_t kCentralSize = 46;
constexpr size_t kLocalSize = 30;
constexpr size_t kPiece = 65536;

uint64_t le(const unsigned char* bytes, int count) {
  uint64_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

bool readAt(int fd, uint64_t offset, void* data, size_t size) {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    ssize_t got = pread(fd, bytes, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    bytes += got;
    offset += static_cast<uint64_t>(got);
    size -= static_cast<size_t>(got);
  }
  return true;
}

// The zip64 block (header id 1) of an extra field, or null.
const unsigned char* zip64Block(const std::string& extra, size_t& size) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(extra.data());
  for (size_t at = 0; at + 4 <= extra.size();) {
    const size_t length = le(bytes + at + 2, 2);
    if (at + 4 + length > extra.size()) return nullptr;
    if (le(bytes + at, 2) == 1) {
      size = length;
      return bytes + at + 4;
    }
    at += 4 + length;
  }
  return nullptr;
}

class Inflater {
 public:
  Inflater() { ready_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK; }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
  ~Inflater() {
    if (ready_) inflateEnd(&stream_);
  }
  bool ready() const { return ready_; }
  z_stream& stream() { return stream_; }

 private:
  z_stream stream_{};
  bool ready_ = false;
};

}  // namespace

Zip64Record findZip64Entry(int archiveFd, uint64_t centralOffset, const std::string& extra,
                           Zip64Entry& entry) {
  size_t blockSize = 0;
  const unsigned char* block = zip64Block(extra, blockSize);
  if (!block) return Zip64Record::kNone;
  unsigned char record[kCentralSize];
  if (!readAt(archiveFd, centralOffset, record, sizeof record) ||
      le(record, 4) != kCentralSignature) {
    return Zip64Record::kDamaged;
  }
  // The block holds, in this order, a value for each of these fields that holds the sentinel.
  uint64_t values[3] = {le(record + 24, 4), le(record + 20, 4), le(record + 42, 4)};
  size_t used = 0;
  bool extended = false;
  for (uint64_t& value : values) {
    if (value != kSentinel) continue;
    if (used + 8 > blockSize) return Zip64Record::kDamaged;
    value = le(block + used, 8);
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
  if (!readAt(archiveFd, entry.localHeaderOffset, local, sizeof local) ||
      le(local, 4) != kLocalSignature) {
    problem = "no local header";
    return false;
  }
  if (method != 0 && method != Z_DEFLATED) {
    problem = "unsupported compression method";
    return false;
  }
  Inflater inflater;
  if (!inflater.ready()) {
    problem = "no inflater";
    return false;
  }
  z_stream& stream = inflater.stream();
  std::vector<char> in(kPiece), out(kPiece);
  uint64_t offset = entry.localHeaderOffset + kLocalSize + le(local + 26, 2) + le(local + 28, 2);
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
    if (!readAt(archiveFd, offset, in.data(), size)) {
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
