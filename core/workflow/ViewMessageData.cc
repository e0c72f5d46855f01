#include "core/workflow/ViewMessageData.h"

#include <cstdio>

namespace {

// Keys and values reach the page's JSON parser: a double quote, backslash or control character
// there would end the string early or make the whole text unreadable. Other bytes pass as they are.
void appendQuoted(std::string& out, const std::string& text) {
  out += '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  out += '"';
}

}  // namespace

bool ViewMessageData::setValue(const std::string& key, const std::string& value) {
  return values_.emplace(key, value).second;
}

bool ViewMessageData::setRawValue(const std::string& key, const std::string& value) {
  return rawValues_.emplace(key, value).second;
}

std::string ViewMessageData::getValue(const std::string& key) const {
  const auto found = values_.find(key);
  return found == values_.end() ? std::string() : found->second;
}

std::string ViewMessageData::toString() const {
  if (values_.empty()) return "";
  std::string out = "{";
  bool first = true;
  for (const auto& [key, value] : values_) {
    if (!first) out += ',';
    first = false;
    appendQuoted(out, key);
    out += ':';
    appendQuoted(out, value);
  }
  for (const auto& [key, value] : rawValues_) {
    out += ',';
    appendQuoted(out, key);
    out += ':';
    out += value;
  }
  out += '}';
  return out;
}

bool ViewMessageData::parse(const std::string& text) {
  // One pass over the text: each piece is read where it stands, so the cost follows the length.
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    const std::size_t end = comma == std::string::npos ? text.size() : comma;
    std::string key, value;
    splitPair(text.substr(start, end - start), key, value);
    values_[std::move(key)] = std::move(value);
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

void ViewMessageData::splitPair(const std::string& piece, std::string& key, std::string& value) {
  const std::size_t colon = piece.rfind(':');
  if (colon == std::string::npos) {
    key = unquote(piece);
    value = key;
    return;
  }
  key = unquote(piece.substr(0, colon));
  value = unquote(piece.substr(colon + 1));
}

std::string ViewMessageData::unquote(const std::string& text) {
  const std::size_t open = text.find('"');
  const std::string after = open == std::string::npos ? text : text.substr(open + 1);
  const std::size_t close = after.find('"');
  return close == std::string::npos ? after : after.substr(0, close);
}
