#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// Property lists (Info.plist files, library sections, tool replies) in their XML or binary form,
// read through libplist. A PropertyList owns the parsed tree; a PlistNode is a read-only view into
// it, valid while the list lives, and every lookup on a missing or mistyped node gives a null
// node, so chains of lookups need no checks between them. Not thread-safe per object; separate
// objects may be used from separate threads.
namespace platform {

// Larger texts are refused before parsing: no property list we read comes near this.
inline constexpr size_t kPropertyListMaximumSize = size_t{16} << 20;
// Deeper nesting is refused before parsing: the library recurses once per level.
inline constexpr size_t kPropertyListMaximumDepth = 64;

// Which forms a reader takes. Tool replies are XML; only bundle information may be binary.
enum class PlistForms { kXmlOnly, kXmlOrBinary };

class PlistNode {
 public:
  PlistNode() = default;
  explicit PlistNode(void* node) : node_(node) {}

  bool isNull() const { return node_ == nullptr; }
  bool isDictionary() const;
  bool isArray() const;
  bool isString() const;

  // The dictionary's value for `key`; null when this is no dictionary or has no such key.
  PlistNode member(const char* key) const;
  // Dictionary entries; 0 when this is no dictionary.
  size_t memberCount() const;
  // Array elements; 0 and null when this is no array.
  size_t size() const;
  PlistNode at(size_t index) const;
  // The string's text; false, `text` unchanged, when this is no string or its text holds a NUL
  // or is not well-formed UTF-8 (the library would have cut or re-coded it).
  bool stringValue(std::string& text) const;

 private:
  void* node_ = nullptr;
};

class PropertyList {
 public:
  PropertyList() = default;
  PropertyList(PropertyList&&) noexcept = default;
  PropertyList& operator=(PropertyList&&) noexcept = default;

  // Parses the text (XML, or binary when `forms` allows it; told apart by content). False, and an
  // empty list, for anything else, for texts larger than kPropertyListMaximumSize, nested deeper
  // than kPropertyListMaximumDepth, and binary lists whose strings the library would cut or drop
  // characters from (a NUL, an unpaired UTF-16 surrogate) or whose objects are shared so widely
  // that the tree would be far larger than the text. No DTD is loaded, nothing is fetched, and a
  // document that declares entities of its own is refused.
  bool parse(std::string_view bytes, PlistForms forms);
  // The top object; null before a successful parse.
  PlistNode root() const { return PlistNode(root_.get()); }

 private:
  struct Free {
    void operator()(void* node) const;
  };
  std::unique_ptr<void, Free> root_;
};

}  // namespace platform
