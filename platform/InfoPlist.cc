#include "platform/InfoPlist.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>

namespace platform {
namespace {

struct DocumentFree {
  void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
using Document = std::unique_ptr<xmlDoc, DocumentFree>;

bool isElement(const xmlNode* node, const char* name) {
  return node && node->type == XML_ELEMENT_NODE &&
         xmlStrcmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

const xmlNode* nextElement(const xmlNode* node) {
  while (node && node->type != XML_ELEMENT_NODE) node = node->next;
  return node;
}

// The node's text as it stands in the document. Anything but text and CDATA inside (an entity
// reference, an element) makes it no plain text: entities are never expanded.
bool literalText(const xmlNode* node, std::string& text) {
  text.clear();
  for (const xmlNode* child = node->children; child; child = child->next) {
    if (child->type == XML_COMMENT_NODE) continue;
    if (child->type != XML_TEXT_NODE && child->type != XML_CDATA_SECTION_NODE) return false;
    if (child->content) text += reinterpret_cast<const char*>(child->content);
  }
  return true;
}

// <plist><dict>...</dict></plist>, or a bare <dict> as the root.
const xmlNode* topLevelDict(xmlDoc* document) {
  const xmlNode* root = xmlDocGetRootElement(document);
  if (isElement(root, "plist")) root = nextElement(root->children);
  return isElement(root, "dict") ? root : nullptr;
}

}  // namespace

bool bundleVersionFromInfoPlist(std::string_view xml, std::string& version) {
  if (xml.empty() || xml.size() > kInfoPlistMaximumSize) return false;
  Document document(xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr,
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
  if (!document) return false;
  const xmlNode* dict = topLevelDict(document.get());
  if (!dict) return false;
  std::string keyText;
  for (const xmlNode* key = nextElement(dict->children); key;) {
    const xmlNode* value = nextElement(key->next);
    if (!value) break;
    if (isElement(key, "key") && literalText(key, keyText) && keyText == "CFBundleVersion") {
      std::string text;
      if (!isElement(value, "string") || !literalText(value, text)) return false;
      version = text;
      return true;
    }
    key = nextElement(value->next);
  }
  return false;
}

}  // namespace platform
