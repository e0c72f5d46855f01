#include "mediation/ipc/PacketCodec.h"

#include <algorithm>
#include <cstring>

#include "platform/files/ByteOrder.h"

namespace mediation {
namespace {

void storeLittle(uint32_t value, unsigned char* at) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace

void encodeHeader(uint32_t type, uint32_t id, uint32_t size, unsigned char* header) {
  storeLittle(type, header);
  storeLittle(id, header + 4);
  storeLittle(size, header + 8);
}

bool encodePacket(uint32_t type, uint32_t id, const std::string& data, std::string& wire) {
  if (data.size() >= kMaxPacketSize) return false;
  const uint32_t size = static_cast<uint32_t>(data.size() + 1);
  unsigned char header[kPacketHeaderSize];
  encodeHeader(type, id, size, header);
  wire.append(reinterpret_cast<const char*>(header), sizeof header);
  wire.append(data);
  wire.push_back('\0');
  return true;
}

bool PacketDecoder::feed(const char* bytes, size_t length, std::vector<Packet>& out) {
  while (length > 0 && !broken_) {
    if (!inPayload_) {
      const size_t take = std::min(length, kPacketHeaderSize - headerFill_);
      std::memcpy(header_ + headerFill_, bytes, take);
      headerFill_ += take;
      bytes += take;
      length -= take;
      if (headerFill_ < kPacketHeaderSize) break;
      headerFill_ = 0;
      type_ = platform::loadLittle<uint32_t>(header_);
      id_ = platform::loadLittle<uint32_t>(header_ + 4);
      size_ = platform::loadLittle<uint32_t>(header_ + 8);
      // A size of 0 cannot carry the NUL every sender writes: the peer is not speaking this
      // format, and nothing after it can be trusted.
      if (size_ == 0 || size_ > kMaxPacketSize) {
        broken_ = true;
        break;
      }
      sawHeader_ = true;
      inPayload_ = true;
      payload_.clear();
      payload_.reserve(size_);
    }
    const size_t take = std::min(length, size_ - payload_.size());
    payload_.append(bytes, take);
    bytes += take;
    length -= take;
    if (payload_.size() < size_) break;
    Packet packet;
    packet.type = type_;
    packet.id = id_;
    packet.data.assign(payload_.c_str());
    packet.size = static_cast<uint32_t>(packet.data.size() + 1);
    out.push_back(std::move(packet));
    inPayload_ = false;
    payload_.clear();
  }
  return !broken_;
}

}  // namespace mediation
