#include "foundation/http/HttpReplyHead.h"

#include <strings.h>

#include "foundation/text/StringUtils.h"

namespace http {
namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// "HTTP/1.1 404 Not Found" -> 404; 0 unless three digits follow the version.
int statusOf(std::string_view line) {
  const size_t blank = line.find(' ');
  if (blank == std::string_view::npos) return 0;
  const std::string_view code = line.substr(blank + 1, 3);
  if (code.size() != 3) return 0;
  int status = 0;
  for (char c : code) {
    if (c < '0' || c > '9') return 0;
    status = status * 10 + (c - '0');
  }
  return status;
}

unsigned schemeBit(std::string_view scheme) {
  struct Known {
    const char* name;
    AuthScheme bit;
  };
  for (const Known& known : {Known{"Basic", kAuthBasic}, Known{"Digest", kAuthDigest},
                             Known{"NTLM", kAuthNtlm}, Known{"Negotiate", kAuthNegotiate}}) {
    if (equalsIgnoringCase(scheme, known.name)) return known.bit;
  }
  return kAuthNone;
}

// A challenge list: "Digest realm=\"a\", qop=\"auth\", Basic realm=\"b\"". Each comma-separated
// piece that starts with a token not followed by "=" names a scheme.
unsigned schemesIn(std::string_view value) {
  unsigned schemes = kAuthNone;
  while (!value.empty()) {
    const size_t comma = value.find(',');
    const std::string_view piece = StringUtils::utilTrimBlanks(value.substr(0, comma));
    const std::string_view token = piece.substr(0, piece.find_first_of(" \t="));
    if (!token.empty() && (token.size() == piece.size() || piece[token.size()] != '=')) {
      schemes |= schemeBit(token);
    }
    if (comma == std::string_view::npos) break;
    value.remove_prefix(comma + 1);
  }
  return schemes;
}

}  // namespace

void HttpReplyHead::addLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.starts_with("HTTP/")) {
    clear();
    status_ = statusOf(line);
    return;
  }
  if (line.empty()) {
    complete_ = true;
    return;
  }
  if ((line.front() == ' ' || line.front() == '\t') && !fields_.empty()) {
    std::string& value = fields_.back().second;
    if (!value.empty()) value.push_back(' ');
    value.append(StringUtils::utilTrimBlanks(line));
    return;
  }
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) {
    fields_.emplace_back("", std::string(line));
    return;
  }
  fields_.emplace_back(std::string(line.substr(0, colon)),
                       std::string(StringUtils::utilTrimBlanks(line.substr(colon + 1))));
}

unsigned HttpReplyHead::offeredSchemes(std::string_view challengeName, bool& challenged) const {
  unsigned schemes = kAuthNone;
  challenged = false;
  for (const auto& [name, value] : fields_) {
    if (!equalsIgnoringCase(name, challengeName)) continue;
    challenged = true;
    schemes |= schemesIn(value);
  }
  return schemes;
}

bool HttpReplyHead::isReadable(const std::pair<std::string, std::string>& field) {
  static constexpr std::string_view kNotInName("\0\r\n \t", 5);
  static constexpr std::string_view kNotInValue("\0\r\n", 3);
  return !field.first.empty() && field.first.find_first_of(kNotInName) == std::string::npos &&
         field.second.find_first_of(kNotInValue) == std::string::npos;
}

}  // namespace http
