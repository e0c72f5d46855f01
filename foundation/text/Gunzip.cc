#include "foundation/text/Gunzip.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <utility>

namespace StringUtils {
namespace {

constexpr int kGzipOnlyWindowBits = 15 + 16;
constexpr size_t kFirstBufferMinimum = 64 * 1024;

class InflateStream {
 public:
  InflateStream() { ready_ = inflateInit2(&stream_, kGzipOnlyWindowBits) == Z_OK; }
  InflateStream(const InflateStream&) = delete;
  InflateStream& operator=(const InflateStream&) = delete;
  ~InflateStream() {
    if (ready_) inflateEnd(&stream_);
  }
  bool ready() const { return ready_; }
  z_stream& get() { return stream_; }

 private:
  z_stream stream_{};
  bool ready_ = false;
};

// The next buffer size: doubled, but never past one byte beyond the limit, which is enough to
// tell that the limit was crossed.
size_t grown(size_t size) {
  return std::min(size * 2, kGunzipMaxOutput + 1);
}

}  // namespace

bool gunzipToString(const std::string& compressed, std::string& out) {
  if (compressed.empty()) {
    out.clear();
    return true;
  }
  InflateStream inflater;
  if (!inflater.ready()) return false;
  z_stream& stream = inflater.get();

  std::string inflated;
  inflated.resize(
      std::min(std::max(compressed.size() * 2, kFirstBufferMinimum), kGunzipMaxOutput + 1));
  size_t consumed = 0;
  size_t produced = 0;
  while (true) {
    if (produced == inflated.size()) {
      if (inflated.size() > kGunzipMaxOutput) return false;
      inflated.resize(grown(inflated.size()));
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
    if (produced > kGunzipMaxOutput) return false;
    if (status == Z_STREAM_END) {
      if (consumed == compressed.size()) break;
      // Concatenated members (cat a.gz b.gz) make one text; anything else that follows is not
      // gzip and fails the next round.
      if (inflateReset(&stream) != Z_OK) return false;
      continue;
    }
    if (status == Z_BUF_ERROR && produced == inflated.size()) continue;
    if (status != Z_OK) return false;  // damaged, or out of input before the end: truncated
  }
  inflated.resize(produced);
  out = std::move(inflated);
  return true;
}

}  // namespace StringUtils
