#include "platform/plist/PropertyList.h"

#include <plist/plist.h>

#include <cstdlib>

namespace platform {
namespace {

plist_type typeOf(void* node) {
  return node ? plist_get_node_type(node) : PLIST_NONE;
}

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
  if (!value) return false;
  text.assign(value, length);
  return true;
}

void PropertyList::Free::operator()(void* node) const {
  plist_free(node);
}

bool PropertyList::parse(std::string_view bytes) {
  root_.reset();
  if (bytes.empty() || bytes.size() > kPropertyListMaximumSize) return false;
  plist_t parsed = nullptr;
  plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &parsed);
  root_.reset(parsed);
  return parsed != nullptr;
}

}  // namespace platform
