#include <gtest/gtest.h>
#include <zlib.h>

#include "foundation/text/Gunzip.h"

namespace {

// Gzip-compresses `text` repeated `times` times and then `tail`, without holding the repetitions
// in memory.
std::string gzipRepeated(const std::string& text, size_t times, const std::string& tail = "") {
  z_stream stream{};
  EXPECT_EQ(deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string compressed;
  char out[1 << 16];
  for (size_t round = 0; round <= times; ++round) {
    const std::string& input = round < times ? text : tail;
    int flush = round == times ? Z_FINISH : Z_NO_FLUSH;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
    stream.avail_in = static_cast<uInt>(input.size());
    do {
      stream.next_out = reinterpret_cast<Bytef*>(out);
      stream.avail_out = sizeof out;
      deflate(&stream, flush);
      compressed.append(out, sizeof out - stream.avail_out);
    } while (stream.avail_out == 0 || stream.avail_in > 0);
  }
  deflateEnd(&stream);
  return compressed;
}

std::string gzip(const std::string& text) {
  return gzipRepeated(text, 1);
}

std::string varied(size_t size) {
  std::string text;
  for (size_t i = 0; i < size; ++i) text += static_cast<char>((i * 7919) % 251);
  return text;
}

TEST(Gunzip, GoodStreamsInflateCompletelyPastManyBuffers) {
  for (std::string text : {std::string(), std::string("hello, world"), std::string(1, '\0'),
                           varied(3 << 20), std::string(40 << 20, 'z')}) {  // a thousandfold ratio
    std::string out = "stale";
    ASSERT_TRUE(StringUtils::gunzipToString(text.empty() ? text : gzip(text), out));
    EXPECT_EQ(out, text);
  }
}

// Only the first member was read (cat a.gz b.gz lost b) and trailing bytes were ignored.
TEST(Gunzip, ReadsEveryMemberAndRefusesBytesAfterTheLast) {
  std::string out;
  ASSERT_TRUE(StringUtils::gunzipToString(gzip("first ") + gzip("") + gzip("second"), out));
  EXPECT_EQ(out, "first second");
  for (const std::string& tail :
       {std::string("garbage"), std::string(1, '\0'), gzip("x").substr(0, 12)}) {
    out = "kept";
    EXPECT_FALSE(StringUtils::gunzipToString(gzip("first") + tail, out)) << tail.size();
    EXPECT_EQ(out, "kept");
  }
}

TEST(Gunzip, BrokenStreamsFailAndLeaveTheOutput) {
  std::string good = gzip(varied(100000));
  std::string corruptBody = good;
  corruptBody[corruptBody.size() / 2] ^= 0x55;
  std::string corruptChecksum = good;
  corruptChecksum[corruptChecksum.size() - 6] ^= 0x01;
  std::string zlibNotGzip(200, '\0');
  uLongf zlibSize = zlibNotGzip.size();
  compress(reinterpret_cast<Bytef*>(zlibNotGzip.data()), &zlibSize,
           reinterpret_cast<const Bytef*>("hello"), 5);
  zlibNotGzip.resize(zlibSize);

  struct Case {
    const char* name;
    std::string data;
  } cases[] = {
      {"truncated in the body", good.substr(0, good.size() / 2)},
      {"truncated in the trailer", good.substr(0, good.size() - 3)},
      {"header only", good.substr(0, 10)},
      {"corrupt body", corruptBody},
      {"corrupt checksum", corruptChecksum},
      {"zlib, not gzip", zlibNotGzip},
      {"plain text", "this is not compressed at all"},
  };
  for (const Case& c : cases) {
    std::string out = "kept";
    EXPECT_FALSE(StringUtils::gunzipToString(c.data, out)) << c.name;
    EXPECT_EQ(out, "kept") << c.name;
  }
}

TEST(Gunzip, InflatesUpToTheLimitAndRefusesOneByteMore) {
  const std::string block(1 << 20, 'a');
  const size_t blocks = StringUtils::kGunzipMaxOutput / block.size();
  std::string atLimit = gzipRepeated(block, blocks);
  std::string out;
  ASSERT_TRUE(StringUtils::gunzipToString(atLimit, out));
  EXPECT_EQ(out.size(), StringUtils::kGunzipMaxOutput);
  out = "kept";
  atLimit.clear();

  std::string bomb = gzipRepeated(block, blocks, "a");
  EXPECT_FALSE(StringUtils::gunzipToString(bomb, out));
  EXPECT_EQ(out, "kept");
}

}  // namespace
