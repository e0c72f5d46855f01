#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mediation/ipc/PacketCodec.h"

namespace mediation {
namespace {

std::string header(uint32_t type, uint32_t id, uint32_t size) {
  unsigned char bytes[kPacketHeaderSize];
  encodeHeader(type, id, size, bytes);
  return std::string(reinterpret_cast<char*>(bytes), sizeof bytes);
}

TEST(PacketCodecTest, HeaderIsThreeLittleEndianWordsAndTheTextEndsInNul) {
  std::string wire;
  ASSERT_TRUE(encodePacket(6, 65535, "ab", wire));
  EXPECT_EQ(wire, std::string("\x06\0\0\0\xff\xff\0\0\x03\0\0\0ab\0", 15));
}

// Byte by byte, as the worst split a reader can see; the bridge test sends the same texts whole.
TEST(PacketCodecTest, TextsSurviveTheFinestSplit) {
  const std::vector<std::string> texts = {"", "<msg>&</msg>", std::string(kMaxPacketSize - 1, 'z')};
  std::string wire;
  for (size_t i = 0; i < texts.size(); ++i) ASSERT_TRUE(encodePacket(i, 7, texts[i], wire));
  EXPECT_FALSE(encodePacket(1, 1, std::string(kMaxPacketSize, 'z'), wire));
  PacketDecoder decoder;
  std::vector<Packet> packets;
  for (char byte : wire) ASSERT_TRUE(decoder.feed(&byte, 1, packets));
  ASSERT_EQ(packets.size(), texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(packets[i].type, i);
    EXPECT_EQ(packets[i].data, texts[i]);
    EXPECT_EQ(packets[i].size, texts[i].size() + 1);
  }
}

TEST(PacketCodecTest, StreamsAreReadUpToTheirFirstFault) {
  struct Row {
    const char* name;
    std::string wire;
    std::vector<std::string> texts;  // what is decoded before the stream ends
    bool broken;
    bool midPacket;
  };
  const Row rows[] = {
      {"inner NUL cuts the text", header(2, 1, 4) + std::string("a\0b\0", 4), {"a"}, false, false},
      {"no NUL at all keeps the whole payload", header(2, 1, 3) + "abc", {"abc"}, false, false},
      {"size 0", header(2, 1, 0) + header(2, 1, 2) + "a", {}, true, false},
      {"size just over the limit", header(2, 1, kMaxPacketSize + 1), {}, true, false},
      {"largest size", header(2, 1, 0xffffffff), {}, true, false},
      {"partial header",
       header(2, 1, 2) + std::string("a\0", 2) + header(3, 1, 2).substr(0, 5),
       {"a"},
       false,
       true},
      {"half a payload", header(2, 1, 10) + "abc", {}, false, true},
  };
  for (const Row& row : rows) {
    PacketDecoder decoder;
    std::vector<Packet> packets;
    EXPECT_EQ(decoder.feed(row.wire.data(), row.wire.size(), packets), !row.broken) << row.name;
    std::vector<std::string> texts;
    for (const Packet& packet : packets) texts.push_back(packet.data);
    EXPECT_EQ(texts, row.texts) << row.name;
    EXPECT_EQ(decoder.midPacket(), row.midPacket) << row.name;
    // A broken stream stays broken: a good packet after it is not decoded.
    if (row.broken) {
      std::string good;
      encodePacket(1, 1, "late", good);
      EXPECT_FALSE(decoder.feed(good.data(), good.size(), packets)) << row.name;
      EXPECT_EQ(packets.size(), row.texts.size()) << row.name;
    }
  }
}

}  // namespace
}  // namespace mediation
