#pragma once

#include <string>
#include <string_view>

namespace testserver {

// One gzip member holding `in`, as the server sends a body with Content-Encoding gzip; tests use
// it to make gzip files of their own.
std::string gzipCompress(std::string_view in);
// `in` as raw deflate data with no framing, as a zip entry stores it.
std::string deflateRaw(std::string_view in);

}  // namespace testserver
