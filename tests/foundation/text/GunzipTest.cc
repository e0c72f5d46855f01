#include <gtest/gtest.h>
#include <zlib.h>

#include "foundation/text/Gunzip.h"

namespace {

// Gzip-compresses (zlib-compresses with window bits 15) `text` repeated `times` times and then
// `tail`, without holding the repetitions in memory.
std::string gzip(const std::string& text, size_t times = 1, const std::string& tail = "",
                 int windowBits = 31) {
  z_stream stream{};
  EXPECT_EQ(deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY),
            Z_OK);
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

std::string varied(size_t size) {
  std::string text;
  for (size_t i = 0; i < size; ++i) text += static_cast<char>((i * 7919) % 251);
  return text;
}

// Only the first member was read (cat a.gz b.gz lost b) and trailing bytes were ignored.
TEST(Gunzip, GoodStreamsInflateCompletelyPastManyBuffersAndEveryMemberIsRead) {
  for (std::string text : {std::string(), std::string("hello, world"), std::string(1, '\0'),
                           varied(3 << 20), std::string(40 << 20, 'z')}) {  // a thousandfold ratio
    std::string out = "stale";
    ASSERT_TRUE(StringUtils::gunzipToString(text.empty() ? text : gzip(text), out));
    EXPECT_EQ(out, text);
  }
  std::string out;
  ASSERT_TRUE(StringUtils::gunzipToString(gzip("first ") + gzip("") + gzip("second"), out));
  EXPECT_EQ(out, "first second");
}

TEST(Gunzip, BrokenStreamsAndBytesAfterTheLastMemberFailAndLeaveTheOutput) {
  std::string good = gzip(varied(100000));
  auto flipped = [&good](size_t at) {
    return good.substr(0, at) + char(good[at] ^ 1) + good.substr(at + 1);
  };
  const std::pair<const char*, std::string> cases[] = {
      {"truncated in the body", good.substr(0, good.size() / 2)},
      {"truncated in the trailer", good.substr(0, good.size() - 3)},
      {"header only", good.substr(0, 10)},
      {"corrupt body", flipped(good.size() / 2)},
      {"corrupt checksum", flipped(good.size() - 6)},
      {"zlib, not gzip", gzip("hello", 1, "", 15)},
      {"plain text", "this is not compressed at all"},
      {"garbage after the last member", gzip("first") + "garbage"},
      {"a NUL after the last member", gzip("first") + std::string(1, '\0')},
      {"a cut member after the last", gzip("first") + gzip("x").substr(0, 12)},
  };
  for (const auto& [name, data] : cases) {
    std::string out = "kept";
    EXPECT_FALSE(StringUtils::gunzipToString(data, out)) << name;
    EXPECT_EQ(out, "kept") << name;
  }
}

TEST(Gunzip, InflatesUpToTheLimitAndRefusesOneByteMore) {
  const std::string block(1 << 20, 'a');
  const size_t blocks = StringUtils::kGunzipMaxOutput / block.size();
  std::string atLimit = gzip(block, blocks);
  std::string out;
  ASSERT_TRUE(StringUtils::gunzipToString(atLimit, out));
  EXPECT_EQ(out.size(), StringUtils::kGunzipMaxOutput);
  out = "kept";
  atLimit.clear();
  EXPECT_FALSE(StringUtils::gunzipToString(gzip(block, blocks, "a"), out));
  EXPECT_EQ(out, "kept");
}

}  // namespace
