#include "platform/plist/PropertyList.h"

#include <plist/plist.h>

#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace platform {
namespace {

plist_type typeOf(void* node) {
  return node ? plist_get_node_type(node) : PLIST_NONE;
}

bool wellFormedUtf8(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    const auto lead = static_cast<unsigned char>(text[at]);
    size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : 4;
    if ((lead >= 0x80 && lead < 0xC2) || lead > 0xF4 || text.size() - at < length) return false;
    char32_t codePoint = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[at + k]);
      if ((next & 0xC0) != 0x80) return false;
      codePoint = (codePoint << 6) | (next & 0x3F);
    }
    const char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < minimum[length] || codePoint > 0x10FFFF) return false;
    if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return false;
    at += length;
  }
  return true;
}

// Where the tag opened at `at` ends (its '>'), quoted attribute values skipped; npos if never.
size_t tagEnd(std::string_view text, size_t at) {
  for (char quote = 0; ++at < text.size();) {
    if (quote) {
      if (text[at] == quote) quote = 0;
    } else if (text[at] == '"' || text[at] == '\'') {
      quote = text[at];
    } else if (text[at] == '>') {
      return at;
    }
  }
  return std::string_view::npos;
}

// Element nesting within `maximum`, counted as the XML grammar reads tags (comments, sections and
// declarations skipped). A NUL byte is no XML, and the library would cut a string at it.
bool xmlNestingWithin(std::string_view text, size_t maximum) {
  if (text.find('\0') != std::string_view::npos) return false;
  size_t depth = 0;
  for (size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at)) {
    const std::string_view rest = text.substr(at);
    size_t end;
    if (rest.starts_with("<!--") || rest.starts_with("<![CDATA[") || rest.starts_with("<?")) {
      const char* close = rest[1] == '?' ? "?>" : rest[2] == '-' ? "-->" : "]]>";
      end = text.find(close, at + 2);
      if (end != std::string_view::npos) end += std::strlen(close) - 1;
    } else {
      end = tagEnd(text, at);
      if (end == std::string_view::npos) return false;
      if (rest[1] == '!') {
        // An internal subset would declare entities, which are refused anyway.
        if (text.substr(at, end - at).find('[') != std::string_view::npos) return false;
      } else if (rest[1] == '/') {
        if (depth-- == 0) return false;
      } else if (text[end - 1] != '/' && ++depth > maximum) {
        return false;
      }
    }
    if (end == std::string_view::npos) return false;
    at = end + 1;
  }
  return true;
}

// The binary form, read as far as needed to prove that the library can take it: every object
// reachable from the top within the depth bound, every string whole.
class BinaryListCheck {
 public:
  explicit BinaryListCheck(std::string_view bytes) : bytes_(bytes) {}

  bool sound() {
    if (bytes_.size() < kMagicSize + kTrailerSize) return false;
    end_ = bytes_.size() - kTrailerSize;
    offsetSize_ = static_cast<unsigned char>(bytes_[end_ + 6]);
    referenceSize_ = static_cast<unsigned char>(bytes_[end_ + 7]);
    objectCount_ = number(end_ + 8, 8);
    offsetTable_ = number(end_ + 24, 8);
    if (offsetSize_ < 1 || offsetSize_ > 8 || referenceSize_ < 1 || referenceSize_ > 8)
      return false;
    if (offsetTable_ > end_ || objectCount_ > (end_ - offsetTable_) / offsetSize_) return false;
    std::vector<std::pair<uint64_t, size_t>> pending{{number(end_ + 16, 8), 1}};
    size_t visits = 0;
    while (!pending.empty()) {
      const auto [index, depth] = pending.back();
      pending.pop_back();
      if (++visits > kMaximumVisits || depth > kPropertyListMaximumDepth) return false;
      if (!objectSound(index, depth, pending)) return false;
    }
    return true;
  }

 private:
  static constexpr size_t kMagicSize = 8;
  static constexpr size_t kTrailerSize = 32;
  // Shared objects are copied into each place that names them; real lists stay far below this.
  static constexpr size_t kMaximumVisits = size_t{1} << 20;

  uint64_t number(size_t at, size_t width) const {
    uint64_t value = 0;
    for (size_t k = 0; k < width; ++k)
      value = (value << 8) | static_cast<unsigned char>(bytes_[at + k]);
    return value;
  }

  // The element count of the object at `at` (its low nibble, or the integer object after it) and
  // where its contents start.
  bool countOf(size_t at, uint64_t& count, size_t& contents) const {
    count = static_cast<unsigned char>(bytes_[at]) & 0x0F;
    contents = at + 1;
    if (count != 0x0F) return true;
    if (contents >= end_) return false;
    const auto marker = static_cast<unsigned char>(bytes_[contents]);
    const size_t width = size_t{1} << (marker & 0x0F);
    if ((marker & 0xF0) != 0x10 || width > 8 || end_ - contents - 1 < width) return false;
    count = number(contents + 1, width);
    contents += 1 + width;
    return true;
  }

  bool utf16Whole(size_t contents, uint64_t units) const {
    if (units > (end_ - contents) / 2) return false;
    for (uint64_t k = 0; k < units; ++k) {
      const uint64_t unit = number(contents + 2 * k, 2);
      if (unit == 0 || (unit >= 0xDC00 && unit <= 0xDFFF)) return false;
      if (unit >= 0xD800 && unit <= 0xDBFF) {
        const uint64_t low = ++k < units ? number(contents + 2 * k, 2) : 0;
        if (low < 0xDC00 || low > 0xDFFF) return false;
      }
    }
    return true;
  }

  bool objectSound(uint64_t index, size_t depth,
                   std::vector<std::pair<uint64_t, size_t>>& pending) const {
    if (index >= objectCount_) return false;
    const uint64_t at = number(offsetTable_ + index * offsetSize_, offsetSize_);
    if (at < kMagicSize || at >= end_) return false;
    const unsigned kind = static_cast<unsigned char>(bytes_[at]) >> 4;
    uint64_t count = 0;
    size_t contents = 0;
    switch (kind) {
      case 0x5:  // ASCII string
        return countOf(at, count, contents) && count <= end_ - contents &&
               bytes_.substr(contents, count).find('\0') == std::string_view::npos;
      case 0x6:  // UTF-16 string
        return countOf(at, count, contents) && utf16Whole(contents, count);
      case 0xA:    // array
      case 0xC:    // set
      case 0xD: {  // dictionary: keys, then values
        if (!countOf(at, count, contents)) return false;
        const uint64_t references = kind == 0xD ? 2 : 1;
        if (count > (end_ - contents) / referenceSize_ / references) return false;
        for (uint64_t k = 0; k < count * references; ++k)
          pending.emplace_back(number(contents + k * referenceSize_, referenceSize_), depth + 1);
        return true;
      }
      default:
        return true;
    }
  }

  std::string_view bytes_;
  size_t end_ = 0;
  size_t offsetSize_ = 0;
  size_t referenceSize_ = 0;
  uint64_t objectCount_ = 0;
  uint64_t offsetTable_ = 0;
};

}  // namespace

bool PlistNode::isDictionary() const {
  return typeOf(node_) == PLIST_DICT;
}
bool PlistNode::isArray() const {
  return typeOf(node_) == PLIST_ARRAY;
}
bool PlistNode::isString() const {
  return typeOf(node_) == PLIST_STRING;
}

PlistNode PlistNode::member(const char* key) const {
  return PlistNode(isDictionary() && key ? plist_dict_get_item(node_, key) : nullptr);
}

size_t PlistNode::memberCount() const {
  return isDictionary() ? plist_dict_get_size(node_) : 0;
}

size_t PlistNode::size() const {
  return isArray() ? plist_array_get_size(node_) : 0;
}

PlistNode PlistNode::at(size_t index) const {
  if (index >= size()) return PlistNode();
  return PlistNode(plist_array_get_item(node_, static_cast<uint32_t>(index)));
}

bool PlistNode::stringValue(std::string& text) const {
  if (!isString()) return false;
  uint64_t length = 0;
  const char* value = plist_get_string_ptr(node_, &length);
  if (!value || std::strlen(value) != length || !wellFormedUtf8({value, length})) return false;
  text.assign(value, length);
  return true;
}

void PropertyList::Free::operator()(void* node) const {
  plist_free(node);
}

bool PropertyList::parse(std::string_view bytes, PlistForms forms) {
  root_.reset();
  if (bytes.empty() || bytes.size() > kPropertyListMaximumSize) return false;
  if (bytes.starts_with("bplist")) {
    if (forms != PlistForms::kXmlOrBinary || !BinaryListCheck(bytes).sound()) return false;
  } else if (!xmlNestingWithin(bytes, kPropertyListMaximumDepth)) {
    return false;
  }
  plist_t parsed = nullptr;
  plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &parsed);
  root_.reset(parsed);
  return parsed != nullptr;
}

}  // namespace platform
