#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The request side of the test server: one parsed request head and the byte range it asks for.
namespace testserver {

struct HttpRequest {
  std::string method;
  std::string target;  // as sent: origin form "/a?b" or, to a proxy, absolute form "http://h/a"
  std::string version;
  std::vector<std::pair<std::string, std::string>> headers;  // in the order sent
  std::string path;           // the target's path, without query, scheme or authority
  bool absoluteForm = false;  // the target named scheme and host: a request to a proxy
  std::string body;           // as many bytes as Content-Length announced (bounded)

  // The first header with this name (any case); empty when absent.
  std::string header(std::string_view name) const;
  bool hasHeader(std::string_view name) const;
  bool keepAlive() const;
};

// Parses a request head: the request line and header lines, each ended by CRLF, without the blank
// line. False for anything malformed.
bool parseRequestHead(std::string_view head, HttpRequest& out);

struct ByteRange {
  uint64_t first = 0;
  uint64_t last = 0;  // inclusive
  uint64_t length() const { return last - first + 1; }
};

enum class RangeRequest { None, Satisfiable, Unsatisfiable };

// Reads a "Range" value against a body of `size` bytes. One range only ("bytes=a-b", "bytes=a-",
// "bytes=-n"); a list or another unit is treated as no range, as servers may.
RangeRequest parseRange(std::string_view value, uint64_t size, ByteRange& out);

}  // namespace testserver
