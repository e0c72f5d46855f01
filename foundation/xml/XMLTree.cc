#include "foundation/xml/XMLTree.h"

#include <libxml/xmlsave.h>

#include "foundation/xml/XMLLibrary.h"

namespace XMLTree {
namespace {

std::string contentOf(xmlBuffer* buffer) {
  return std::string(XMLLibrary::text(xmlBufferContent(buffer)),
                     static_cast<size_t>(xmlBufferLength(buffer)));
}

}  // namespace

std::optional<std::string> stringValue(const xmlNode* node) {
  XMLLibrary::String content(xmlNodeGetContent(node));
  if (!content) return std::nullopt;
  return std::string(XMLLibrary::text(content.get()));
}

std::string qualifiedName(const xmlNode* node) {
  std::string name = node->name ? XMLLibrary::text(node->name) : "";
  const bool prefixed = (node->type == XML_ELEMENT_NODE || node->type == XML_ATTRIBUTE_NODE) &&
                        node->ns && node->ns->prefix;
  if (prefixed) name = XMLLibrary::text(node->ns->prefix) + (":" + name);
  return name;
}

bool isTextual(const xmlNode* node) {
  return node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE ||
         node->type == XML_COMMENT_NODE;
}

bool isMovable(const xmlNode* node) {
  switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
      return true;
    default:
      return false;
  }
}

bool isInside(const xmlNode* candidate, const xmlNode* ancestor) {
  for (const xmlNode* node = candidate; node; node = node->parent) {
    if (node == ancestor) return true;
  }
  return false;
}

void appendChild(xmlNode* parent, xmlNode* node) {
  xmlUnlinkNode(node);
  if (node->doc != parent->doc) xmlSetTreeDoc(node, parent->doc);
  node->parent = parent;
  node->prev = parent->last;
  node->next = nullptr;
  if (parent->last) {
    parent->last->next = node;
  } else {
    parent->children = node;
  }
  parent->last = node;
}

std::optional<std::string> serializeNode(xmlNode* node) {
  XMLLibrary::Buffer buffer(xmlBufferCreate());
  if (!buffer || xmlNodeDump(buffer.get(), node->doc, node, 0, 0) < 0) return std::nullopt;
  std::string text = contentOf(buffer.get());
  // libxml2 writes an attribute as it stands inside its element's tag, after a blank.
  if (node->type == XML_ATTRIBUTE_NODE && !text.empty() && text.front() == ' ') text.erase(0, 1);
  return text;
}

std::optional<std::string> serializeDocument(xmlDoc* document) {
  XMLLibrary::Buffer buffer(xmlBufferCreate());
  if (!buffer) return std::nullopt;
  int options = XML_SAVE_FORMAT;
  if (!document->encoding) options |= XML_SAVE_NO_DECL;
  xmlSaveCtxt* save = xmlSaveToBuffer(buffer.get(), "UTF-8", options);
  if (!save) return std::nullopt;
  const bool saved = xmlSaveDoc(save, document) >= 0;
  if (xmlSaveClose(save) < 0 || !saved) return std::nullopt;
  return contentOf(buffer.get());
}

}  // namespace XMLTree
