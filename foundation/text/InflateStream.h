#pragma once

#include <zlib.h>

// A zlib inflate stream that ends itself. The window bits pick the framing as inflateInit2 reads
// them: negative for raw deflate, 15 + 16 for gzip only. One thread at a time.
namespace StringUtils {

class InflateStream {
 public:
  explicit InflateStream(int windowBits) { ready_ = inflateInit2(&stream_, windowBits) == Z_OK; }
  InflateStream(const InflateStream&) = delete;
  InflateStream& operator=(const InflateStream&) = delete;
  ~InflateStream() {
    if (ready_) inflateEnd(&stream_);
  }
  // False when zlib could not set the stream up; get() must not be used then.
  bool ready() const { return ready_; }
  z_stream& get() { return stream_; }

 private:
  z_stream stream_{};
  bool ready_ = false;
};

}  // namespace StringUtils
