#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The wire form of one packet of the two-process channel: a 12-byte header {type, id, size}, each
// a 32-bit unsigned little-endian integer, then `size` bytes: the text and one NUL. Pure: no
// threads, no I/O; one decoder per stream, used by one thread at a time.
namespace mediation {

struct Packet {
  uint32_t type = 0;
  uint32_t id = 0;
  uint32_t size = 0;  // data length + 1, as on the wire
  std::string data;
};

inline constexpr size_t kPacketHeaderSize = 12;
// The largest size field a packet may carry: 409599 text bytes and the NUL.
inline constexpr uint32_t kMaxPacketSize = 409600;

// Appends the header and the payload for {type, id, data} to `wire`. False, `wire` untouched, when
// the text is too long for one packet.
bool encodePacket(uint32_t type, uint32_t id, const std::string& data, std::string& wire);
// The 12 header bytes for a payload of `size` bytes.
void encodeHeader(uint32_t type, uint32_t id, uint32_t size, unsigned char* header);

// Turns a byte stream, in pieces of any size, into packets. A header announcing size 0 or more
// than kMaxPacketSize breaks the stream for good: nothing is decoded after it. Memory held never
// exceeds one header and one announced payload.
class PacketDecoder {
 public:
  // Consumes all of `bytes`, appending every completed packet to `out` (data cut at its first
  // NUL, size recomputed). False once the stream is broken; the packets completed before the
  // fault are in `out` even then, and are whole.
  bool feed(const char* bytes, size_t length, std::vector<Packet>& out);

  bool broken() const { return broken_; }
  // Whether bytes of an unfinished packet are held.
  bool midPacket() const { return headerFill_ > 0 || inPayload_; }
  bool inPayload() const { return inPayload_; }
  // Whether a complete, valid header was ever read from this stream.
  bool sawHeader() const { return sawHeader_; }

 private:
  unsigned char header_[kPacketHeaderSize] = {};
  size_t headerFill_ = 0;
  bool inPayload_ = false;
  bool sawHeader_ = false;
  bool broken_ = false;
  uint32_t type_ = 0;
  uint32_t id_ = 0;
  uint32_t size_ = 0;
  std::string payload_;
};

}  // namespace mediation
