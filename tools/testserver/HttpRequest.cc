#include "tools/testserver/HttpRequest.h"

#include <strings.h>

#include <algorithm>
#include <charconv>

namespace testserver {
namespace {

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool parseU64(std::string_view text, uint64_t& out) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
  return error == std::errc() && end == text.data() + text.size();
}

std::string pathOf(std::string_view target, bool& absoluteForm) {
  absoluteForm = false;
  const size_t scheme = target.find("://");
  if (target.front() != '/' && scheme != std::string_view::npos) {
    absoluteForm = true;
    const size_t slash = target.find('/', scheme + 3);
    target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
  }
  return std::string(target.substr(0, target.find_first_of("?#")));
}

bool parseRequestLine(std::string_view line, HttpRequest& out) {
  const size_t first = line.find(' ');
  const size_t second = line.rfind(' ');
  if (first == std::string_view::npos || second == first) return false;
  out.method = line.substr(0, first);
  out.target = line.substr(first + 1, second - first - 1);
  out.version = line.substr(second + 1);
  if (out.target.empty() || out.version.rfind("HTTP/1.", 0) != 0) return false;
  out.path = pathOf(out.target, out.absoluteForm);
  return !out.path.empty();
}

}  // namespace

std::string HttpRequest::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (equalsNoCase(key, name)) return value;
  }
  return {};
}

bool HttpRequest::hasHeader(std::string_view name) const {
  for (const auto& entry : headers) {
    if (equalsNoCase(entry.first, name)) return true;
  }
  return false;
}

bool HttpRequest::keepAlive() const {
  const std::string connection = header("Connection");
  if (version == "HTTP/1.0") return equalsNoCase(connection, "keep-alive");
  return !equalsNoCase(connection, "close");
}

bool parseRequestHead(std::string_view head, HttpRequest& out) {
  out = HttpRequest{};
  size_t lineEnd = head.find("\r\n");
  if (!parseRequestLine(head.substr(0, lineEnd), out)) return false;
  while (lineEnd != std::string_view::npos) {
    head.remove_prefix(lineEnd + 2);
    lineEnd = head.find("\r\n");
    const std::string_view line = head.substr(0, lineEnd);
    if (line.empty()) continue;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    out.headers.emplace_back(line.substr(0, colon), trim(line.substr(colon + 1)));
  }
  return true;
}

RangeRequest parseRange(std::string_view value, uint64_t size, ByteRange& out) {
  value = trim(value);
  if (value.rfind("bytes=", 0) != 0 || value.find(',') != std::string_view::npos) {
    return RangeRequest::None;
  }
  value.remove_prefix(6);
  const size_t dash = value.find('-');
  if (dash == std::string_view::npos) return RangeRequest::None;
  const std::string_view firstText = trim(value.substr(0, dash));
  const std::string_view lastText = trim(value.substr(dash + 1));
  uint64_t first = 0;
  uint64_t last = 0;
  if (firstText.empty()) {  // a suffix: the last n bytes
    if (!parseU64(lastText, last)) return RangeRequest::None;
    if (last == 0 || size == 0) return RangeRequest::Unsatisfiable;
    out = {size - std::min(last, size), size - 1};
    return RangeRequest::Satisfiable;
  }
  if (!parseU64(firstText, first)) return RangeRequest::None;
  if (lastText.empty()) {
    last = size == 0 ? 0 : size - 1;
  } else if (!parseU64(lastText, last) || last < first) {
    return RangeRequest::None;
  }
  if (first >= size) return RangeRequest::Unsatisfiable;
  out = {first, std::min(last, size - 1)};
  return RangeRequest::Satisfiable;
}

}  // namespace testserver
