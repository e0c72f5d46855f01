#include "tools/testserver/Gzip.h"

#include <zlib.h>

namespace testserver {
namespace {

constexpr int kGzipWindowBits = 15 + 16;
constexpr int kRawWindowBits = -MAX_WBITS;

std::string compressed(std::string_view in, int windowBits) {
  z_stream stream{};
  deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, in.size()) + 32, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  stream.avail_in = static_cast<uInt>(in.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

}  // namespace

std::string gzipCompress(std::string_view in) {
  return compressed(in, kGzipWindowBits);
}

std::string deflateRaw(std::string_view in) {
  return compressed(in, kRawWindowBits);
}

}  // namespace testserver
