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
  // Array elements; 0 and null when this is no array.
  size_t size() const;
  PlistNode at(size_t index) const;
  // The string's text; false, `text` unchanged, when this is no string.
  bool stringValue(std::string& text) const;

 private:
  void* node_ = nullptr;
};

class PropertyList {
 public:
  PropertyList() = default;
  PropertyList(PropertyList&&) noexcept = default;
  PropertyList& operator=(PropertyList&&) noexcept = default;

  // Parses the text (XML or binary form, told apart by content). False, and an empty list, for
  // anything else and for texts larger than kPropertyListMaximumSize. No DTD is loaded, nothing
  // is fetched, and a document that declares entities of its own is refused.
  bool parse(std::string_view bytes);
  // The top object; null before a successful parse.
  PlistNode root() const { return PlistNode(root_.get()); }

 private:
  struct Free {
    void operator()(void* node) const;
  };
  std::unique_ptr<void, Free> root_;
};

}  // namespace platform
