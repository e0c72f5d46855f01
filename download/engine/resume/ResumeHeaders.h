#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace gde {

// The description of a download kept in its resume meta file. A partial file is reused only when
// every key still matches: the same server file (URL, ETag, size), the same segment cut and the
// same byte range. Stateless.
class ResumeHeaders {
 public:
  using Map = std::map<std::string, std::string>;

  static Map build(uint64_t fileSize, uint32_t segmentSize, const std::string& etag,
                   const std::string& serverPath, uint64_t rangeStart, uint64_t rangeByteCount);
  // True when `stored` describes the same download as `current`; logs the first difference. A
  // missing key counts as an empty text.
  static bool match(const Map& stored, const Map& current);
};

}  // namespace gde
