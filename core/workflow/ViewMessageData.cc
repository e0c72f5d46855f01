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
  std::string rest = text;
  for (std::size_t comma; (comma = rest.find(',')) != std::string::npos;) {
    std::string key, value;
    splitPair(rest.substr(0, comma), key, value);
    values_[key] = value;
    rest.erase(0, comma + 1);
  }
  std::string key, value;
  splitPair(rest, key, value);
  values_[key] = value;
  return true;
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
