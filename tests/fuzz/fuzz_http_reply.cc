// A web service's reply as the connector reads it: head lines up to the blank line, the
// challenges they carry, then the body inflated as gzip.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/http/HttpReplyHead.h"
#include "foundation/text/Gunzip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view reply(reinterpret_cast<const char*>(data), size);
  http::HttpReplyHead head;
  while (!reply.empty() && !head.complete()) {
    const size_t end = reply.find('\n');
    const size_t length = end == std::string_view::npos ? reply.size() : end + 1;
    head.addLine(reply.substr(0, length));
    reply.remove_prefix(length);
  }
  bool challenged = false;
  head.offeredSchemes("Proxy-Authenticate", challenged);
  head.offeredSchemes("WWW-Authenticate", challenged);
  for (const auto& field : head.fields()) http::HttpReplyHead::isReadable(field);
  std::string inflated;
  StringUtils::gunzipToString(std::string(reply), inflated);
  return 0;
}
