#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One HTTP reply head as it arrives line by line: the status and the header fields of the latest
// reply (an interim or proxy reply before it is forgotten when the next status line comes).
// Whatever the peer sends is accepted without failing; malformed lines become fields that
// isReadable() refuses. Not thread-safe; one owner.
namespace http {

// Authentication schemes a challenge can offer, as bits.
enum AuthScheme : unsigned {
  kAuthNone = 0,
  kAuthBasic = 1,
  kAuthDigest = 2,
  kAuthNtlm = 4,
  kAuthNegotiate = 8,
};

class HttpReplyHead {
 public:
  // A head larger than this is hostile; the transfer is refused beyond it.
  static constexpr size_t kMaxBytes = 256 * 1024;

  // One line with or without its CR LF. A status line ("HTTP/...") starts a new head; an empty
  // line completes the current one; a line starting with a blank or tab continues the last field.
  void addLine(std::string_view line);
  void clear() { *this = HttpReplyHead(); }

  bool hasStatus() const { return status_ != 0; }
  int status() const { return status_; }
  bool complete() const { return complete_; }
  // In the order received; values without surrounding blanks.
  const std::vector<std::pair<std::string, std::string>>& fields() const { return fields_; }

  // The schemes offered by every field named `challengeName` (without regard to case), as
  // AuthScheme bits; schemes this system cannot answer are left out. `challenged` tells whether
  // any such field was there at all.
  unsigned offeredSchemes(std::string_view challengeName, bool& challenged) const;

  // A field whose name is empty or holds a blank, or whose name or value holds a NUL, a CR or a
  // LF, cannot be handed on as text.
  static bool isReadable(const std::pair<std::string, std::string>& field);

 private:
  int status_ = 0;
  bool complete_ = false;
  std::vector<std::pair<std::string, std::string>> fields_;
};

}  // namespace http
