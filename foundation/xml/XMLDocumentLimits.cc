#include "foundation/xml/XMLDocumentLimits.h"

#include <cstring>

namespace XMLDocumentLimits {
namespace {

// The document as a sequence of code units: bytes, or UTF-16 units in either byte order. Markup
// characters are ASCII, so a unit compares equal to one only when it is that character.
class Units {
 public:
  explicit Units(std::string_view bytes) : bytes_(bytes) {
    auto byte = [&](size_t i) {
      return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 1;
    };
    if ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == '<' && byte(1) == 0)) {
      width_ = 2;
    } else if ((byte(0) == 0xFE && byte(1) == 0xFF) || (byte(0) == 0 && byte(1) == '<')) {
      width_ = 2;
      bigEndian_ = true;
    }
    size_ = bytes.size() / width_;
  }
  size_t size() const { return size_; }
  char32_t operator[](size_t i) const {
    if (width_ == 1) return static_cast<unsigned char>(bytes_[i]);
    auto first = static_cast<unsigned char>(bytes_[2 * i]);
    auto second = static_cast<unsigned char>(bytes_[2 * i + 1]);
    return bigEndian_ ? (first << 8) | second : (second << 8) | first;
  }
  bool startsWith(size_t at, std::string_view text) const {
    if (size_ - at < text.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
      if ((*this)[at + i] != static_cast<unsigned char>(text[i])) return false;
    }
    return true;
  }
  // The position of the next '<' at or after `at`, or size(). Texts are skipped at memchr speed.
  size_t nextOpen(size_t at) const {
    if (width_ == 1) {
      const void* found = at < size_ ? std::memchr(bytes_.data() + at, '<', size_ - at) : nullptr;
      return found ? static_cast<size_t>(static_cast<const char*>(found) - bytes_.data()) : size_;
    }
    while (at < size_ && (*this)[at] != '<') ++at;
    return at;
  }
  // The position just past the next `text` at or after `at`, or size().
  size_t pastNext(size_t at, std::string_view text) const {
    for (; at < size_; ++at) {
      if (startsWith(at, text)) return at + text.size();
    }
    return size_;
  }

 private:
  std::string_view bytes_;
  size_t width_ = 1;
  bool bigEndian_ = false;
  size_t size_ = 0;
};

class Scan {
 public:
  explicit Scan(std::string_view bytes) : units_(bytes) {}

  bool run(std::string& error) {
    for (size_t at = units_.nextOpen(0); at < units_.size(); at = units_.nextOpen(at)) {
      if (!markup(at)) {
        error = error_;
        return false;
      }
    }
    return true;
  }

 private:
  // Moves `at` past the markup that starts there; false, with error_ set, for markup past a bound.
  bool markup(size_t& at) {
    if (units_.startsWith(at, "<!--")) return pastSection(at, "<!--", "-->");
    if (units_.startsWith(at, "<![CDATA[")) return pastSection(at, "<![CDATA[", "]]>");
    if (units_.startsWith(at, "<?")) return pastSection(at, "<?", "?>");
    if (units_.startsWith(at, "<!")) {
      at = pastDeclaration(at + 2);
      return true;
    }
    return startOrEndTag(at);
  }

  // A comment, CDATA section or processing instruction, measured between its delimiters; one left
  // open runs to the end.
  bool pastSection(size_t& at, std::string_view open, std::string_view close) {
    const size_t start = at + open.size();
    at = units_.pastNext(start, close);
    const bool closed = at >= start + close.size() && units_.startsWith(at - close.size(), close);
    return withinLength(start, closed ? at - close.size() : at);
  }

  bool withinLength(size_t start, size_t end) {
    if (end <= start || end - start <= kMaxMarkupLength) return true;
    error_ = "a comment, CDATA section, processing instruction or tag is longer than the bound";
    return false;
  }

  // A DOCTYPE may hold an internal subset in brackets, whose declarations, comments and
  // processing instructions hold ">" of their own.
  size_t pastDeclaration(size_t at) {
    int brackets = 0;
    char32_t quote = 0;
    for (; at < units_.size(); ++at) {
      const char32_t unit = units_[at];
      if (!quote && units_.startsWith(at, "<!--")) {
        at = units_.pastNext(at + 4, "-->") - 1;
      } else if (!quote && units_.startsWith(at, "<?")) {
        at = units_.pastNext(at + 2, "?>") - 1;
      } else if (quote) {
        if (unit == quote) quote = 0;
      } else if (unit == '"' || unit == '\'') {
        quote = unit;
      } else if (unit == '[') {
        ++brackets;
      } else if (unit == ']') {
        --brackets;
      } else if (unit == '>' && brackets <= 0) {
        return at + 1;
      }
    }
    return at;
  }

  bool startOrEndTag(size_t& at) {
    const size_t start = at + 1;
    size_t attributes = 0;
    char32_t quote = 0;
    for (at = start; at < units_.size(); ++at) {
      const char32_t unit = units_[at];
      if (quote) {
        if (unit == quote) quote = 0;
      } else if (unit == '"' || unit == '\'') {
        quote = unit;
      } else if (unit == '=') {
        if (++attributes > kMaxAttributes) {
          error_ = "an element has more attributes than the bound";
          return false;
        }
      } else if (unit == '>') {
        ++at;
        return withinLength(start, at - 1);
      }
    }
    return withinLength(start, at);
  }

  Units units_;
  const char* error_ = "";
};

}  // namespace

bool withinLimits(std::string_view bytes, std::string& error) {
  return Scan(bytes).run(error);
}

}  // namespace XMLDocumentLimits
