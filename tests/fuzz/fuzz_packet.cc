// Feeds arbitrary bytes to the packet decoder in pieces the input chooses, then checks that every
// decoded packet encodes to a wire that decodes to the same packet, and that no packet exceeds
// the size limit. The first byte sets the piece length.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "mediation/ipc/PacketCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t step = data[0] % 31 + 1;
  const char* bytes = reinterpret_cast<const char*>(data + 1);
  const size_t length = size - 1;
  mediation::PacketDecoder decoder;
  std::vector<mediation::Packet> packets;
  for (size_t at = 0; at < length; at += step) {
    if (!decoder.feed(bytes + at, std::min(step, length - at), packets)) break;
  }
  for (const mediation::Packet& packet : packets) {
    if (packet.size != packet.data.size() + 1 || packet.size > mediation::kMaxPacketSize) abort();
    std::string wire;
    if (!mediation::encodePacket(packet.type, packet.id, packet.data, wire)) abort();
    mediation::PacketDecoder again;
    std::vector<mediation::Packet> back;
    if (!again.feed(wire.data(), wire.size(), back) || back.size() != 1 || again.midPacket() ||
        back[0].type != packet.type || back[0].id != packet.id || back[0].data != packet.data) {
      abort();
    }
  }
  return 0;
}
