#include "foundation/text/Gunzip.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "foundation/text/InflateStream.h"

namespace StringUtils {
namespace {

constexpr int kGzipOnlyWindowBits = 15 + 16;
constexpr size_t kFirstBufferMinimum = 64 * 1024;

// The next buffer size: doubled, but never past one byte beyond the limit, which is enough to
// tell that the limit was crossed.
size_t grown(size_t size, size_t limit) {
  return std::min(size * 2, limit + 1);
}

}  // namespace

GunzipResult gunzipBounded(const std::string& compressed, size_t maxOutput, std::string& out) {
  using enum GunzipResult;
  if (compressed.empty()) {
    out.clear();
    return kInflated;
  }
  const size_t limit = std::min(maxOutput, kGunzipMaxOutput);
  InflateStream inflater(kGzipOnlyWindowBits);
  if (!inflater.ready()) return kDamaged;
  z_stream& stream = inflater.get();

  std::string inflated;
  inflated.resize(std::min(std::max(compressed.size() * 2, kFirstBufferMinimum), limit + 1));
  size_t consumed = 0;
  size_t produced = 0;
  while (true) {
    if (produced == inflated.size()) {
      if (inflated.size() > limit) return kTooLarge;
      inflated.resize(grown(inflated.size(), limit));
    }
    // zlib counts in uInt; feed and drain in pieces that fit.
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data() + consumed));
    stream.avail_in = static_cast<uInt>(std::min<size_t>(compressed.size() - consumed, UINT_MAX));
    stream.next_out = reinterpret_cast<Bytef*>(inflated.data() + produced);
    stream.avail_out = static_cast<uInt>(std::min<size_t>(inflated.size() - produced, UINT_MAX));
    uInt inBefore = stream.avail_in;
    uInt outBefore = stream.avail_out;
    int status = inflate(&stream, Z_NO_FLUSH);
    consumed += inBefore - stream.avail_in;
    produced += outBefore - stream.avail_out;
    if (produced > limit) return kTooLarge;
    if (status == Z_STREAM_END) {
      if (consumed == compressed.size()) break;
      // Concatenated members (cat a.gz b.gz) make one text; anything else that follows is not
      // gzip and fails the next round.
      if (inflateReset(&stream) != Z_OK) return kDamaged;
      continue;
    }
    if (status == Z_BUF_ERROR && produced == inflated.size()) continue;
    if (status != Z_OK) return kDamaged;  // damaged, or out of input before the end: truncated
  }
  inflated.resize(produced);
  out = std::move(inflated);
  return kInflated;
}

bool gunzipToString(const std::string& compressed, std::string& out) {
  return gunzipBounded(compressed, kGunzipMaxOutput, out) == GunzipResult::kInflated;
}

}  // namespace StringUtils
