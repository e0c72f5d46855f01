#include "foundation/xml/XMLDocumentReader.h"

#include <libxml/parser.h>

#include <climits>

#include "foundation/xml/XMLDocumentLimits.h"
#include "foundation/xml/XMLLibrary.h"

namespace XMLDocumentReader {
namespace {

struct ContextFree {
  void operator()(xmlParserCtxt* context) const { xmlFreeParserCtxt(context); }
};
using Context = std::unique_ptr<xmlParserCtxt, ContextFree>;

int optionsFor(Mode mode) {
  int options = XML_PARSE_NONET | XML_PARSE_NODICT | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
  if (mode == Mode::kLenient) options |= XML_PARSE_RECOVER;
  return options;
}

void dropEntityReferences(xmlNode* list);

// An entity reference points at its declaration, which goes with the DOCTYPE; the DOCTYPE itself
// is freed whole afterwards. The recursion is bounded by the parser's depth limit.
void dropEntityReferencesOf(xmlNode* node) {
  if (node->type == XML_DTD_NODE) return;
  if (node->type == XML_ELEMENT_NODE) {
    for (xmlAttr* attribute = node->properties; attribute; attribute = attribute->next) {
      dropEntityReferences(attribute->children);
    }
  }
  dropEntityReferences(node->children);
}

void dropEntityReferences(xmlNode* list) {
  xmlNode* node = list;
  while (node) {
    xmlNode* next = node->next;
    if (node->type == XML_ENTITY_REF_NODE) {
      node->children = nullptr;
      node->last = nullptr;
      xmlUnlinkNode(node);
      xmlFreeNode(node);
    } else {
      dropEntityReferencesOf(node);
    }
    node = next;
  }
}

void dropDocumentTypes(xmlDoc* document) {
  for (xmlDtd* dtd : {document->intSubset, document->extSubset}) {
    if (!dtd) continue;
    xmlUnlinkNode(reinterpret_cast<xmlNode*>(dtd));
    xmlFreeDtd(dtd);
  }
  document->intSubset = nullptr;
  document->extSubset = nullptr;
}

// Runs on every document: the lenient mode also keeps references to entities nobody declared.
void stripDeclarations(xmlDoc* document) {
  dropEntityReferences(document->children);
  dropDocumentTypes(document);
}

}  // namespace

Document parse(std::string_view bytes, Mode mode, std::string& error) {
  XMLLibrary::prepare();
  if (bytes.size() > static_cast<size_t>(INT_MAX)) {
    error = "the document is too large";
    return nullptr;
  }
  if (!XMLDocumentLimits::withinLimits(bytes, error)) return nullptr;
  Context context(xmlNewParserCtxt());
  if (!context) {
    error = "the parser could not be created";
    return nullptr;
  }
  context->sax->serror = XMLLibrary::ignoreError;
  Document document(xmlCtxtReadMemory(context.get(), bytes.data(), static_cast<int>(bytes.size()),
                                      nullptr, nullptr, optionsFor(mode)));
  const bool loaded = mode == Mode::kStrict ? document && context->wellFormed
                                            : document && xmlDocGetRootElement(document.get());
  if (!loaded) {
    error = XMLLibrary::describe(context->lastError, "the document could not be parsed");
    return nullptr;
  }
  stripDeclarations(document.get());
  return document;
}

}  // namespace XMLDocumentReader
