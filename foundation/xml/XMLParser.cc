#include "foundation/xml/XMLParser.h"

#include <libxml/tree.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>

#include <cstdarg>
#include <optional>

#include "foundation/logging/UtilsLog.h"
#include "foundation/xml/XMLCharacters.h"
#include "foundation/xml/XMLDocumentReader.h"
#include "foundation/xml/XMLFileIO.h"

class XMLNodeArray {
 public:
  explicit XMLNodeArray(std::vector<xmlNode*> nodes) : nodes_(std::move(nodes)) {}
  const std::vector<xmlNode*>& nodes() const { return nodes_; }

 private:
  const std::vector<xmlNode*> nodes_;
};

namespace {

constexpr const char* kComponent = "XMLParser";
constexpr size_t kMaxDocumentFileBytes = 128u * 1024 * 1024;
constexpr const char* kNotInitialized = "XML Not initialized";

struct XmlStringFree {
  void operator()(xmlChar* text) const { xmlFree(text); }
};
using XmlString = std::unique_ptr<xmlChar, XmlStringFree>;

struct XPathContextFree {
  void operator()(xmlXPathContext* context) const { xmlXPathFreeContext(context); }
};
struct XPathObjectFree {
  void operator()(xmlXPathObject* object) const { xmlXPathFreeObject(object); }
};
struct BufferFree {
  void operator()(xmlBuffer* buffer) const { xmlBufferFree(buffer); }
};
using Buffer = std::unique_ptr<xmlBuffer, BufferFree>;

const xmlChar* xml(const std::string& text) {
  return reinterpret_cast<const xmlChar*>(text.c_str());
}

struct Matches {
  bool failed = false;
  std::string error;
  std::vector<xmlNode*> nodes;
};

// Query errors are read back from the context instead of being printed.
void ignoreError(void*, xmlErrorPtr) {}

std::string describe(const xmlError& error) {
  if (!error.message) return "the query could not be evaluated";
  std::string text = error.message;
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// Namespace nodes in a result are copies that die with the result, so they are left out.
Matches evaluate(xmlDoc* document, const std::string& query) {
  Matches matches;
  std::unique_ptr<xmlXPathContext, XPathContextFree> context(xmlXPathNewContext(document));
  if (!context) {
    matches.failed = true;
    matches.error = "the query context could not be created";
    return matches;
  }
  context->node = reinterpret_cast<xmlNode*>(document);
  context->error = ignoreError;
  std::unique_ptr<xmlXPathObject, XPathObjectFree> result(
      xmlXPathEvalExpression(xml(query), context.get()));
  if (!result) {
    matches.failed = true;
    matches.error = describe(context->lastError);
    return matches;
  }
  if (result->type != XPATH_NODESET) {
    matches.failed = true;
    matches.error = "the query does not select nodes";
    return matches;
  }
  if (const xmlNodeSet* set = result->nodesetval) {
    for (int i = 0; i < set->nodeNr; ++i) {
      if (set->nodeTab[i]->type != XML_NAMESPACE_DECL) matches.nodes.push_back(set->nodeTab[i]);
    }
  }
  return matches;
}

std::optional<std::string> stringValue(const xmlNode* node) {
  XmlString content(xmlNodeGetContent(node));
  if (!content) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(content.get()));
}

// The name as written in the document, prefix included.
std::string qualifiedName(const xmlNode* node) {
  std::string name = node->name ? reinterpret_cast<const char*>(node->name) : "";
  const bool prefixed = (node->type == XML_ELEMENT_NODE || node->type == XML_ATTRIBUTE_NODE) &&
                        node->ns && node->ns->prefix;
  if (prefixed) name = reinterpret_cast<const char*>(node->ns->prefix) + (":" + name);
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

// libxml2's own append merges adjacent text nodes and frees the one appended, which would leave
// the caller's handle dangling; this one links the node as it is.
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
  Buffer buffer(xmlBufferCreate());
  if (!buffer || xmlNodeDump(buffer.get(), node->doc, node, 0, 0) < 0) return std::nullopt;
  std::string text(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                   static_cast<size_t>(xmlBufferLength(buffer.get())));
  // An attribute is written as it stands inside its element's tag, after a blank.
  if (node->type == XML_ATTRIBUTE_NODE && !text.empty() && text.front() == ' ') text.erase(0, 1);
  return text;
}

std::optional<std::string> serializeDocument(xmlDoc* document, const char* encoding) {
  Buffer buffer(xmlBufferCreate());
  if (!buffer) return std::nullopt;
  int options = XML_SAVE_FORMAT;
  if (!document->encoding) options |= XML_SAVE_NO_DECL;
  xmlSaveCtxt* save = xmlSaveToBuffer(buffer.get(), encoding, options);
  if (!save) return std::nullopt;
  const bool saved = xmlSaveDoc(save, document) >= 0;
  if (xmlSaveClose(save) < 0 || !saved) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                     static_cast<size_t>(xmlBufferLength(buffer.get())));
}

}  // namespace

void XMLParser::DocumentRelease::operator()(_xmlDoc* document) const {
  xmlFreeDoc(document);
}

XMLParser::XMLParser(pando::AbstractLogger* logger) : logger_(logger) {}

XMLParser::~XMLParser() = default;

void XMLParser::log(int level, const char* format, ...) const {
  va_list args;
  va_start(args, format);
  pando::utilsVlog(logger_, level, kComponent, format, args);
  va_end(args);
}

bool XMLParser::requireDocument(const std::string& failure) const {
  if (document_) return true;
  log(pando::kLogDebug, "%s", kNotInitialized);
  log(pando::kLogDebug, "%s", failure.c_str());
  return false;
}

bool XMLParser::isInitialized() const {
  return document_ != nullptr;
}

bool XMLParser::initWithXMLPath(const std::string& path) {
  if (document_) {
    log(pando::kLogWarn,
        "Error Description : XML is already initialized, trying to initilize again.");
    return false;
  }
  std::string bytes;
  std::string error;
  if (!XMLFileIO::readWholeFile(path, kMaxDocumentFileBytes, bytes, error)) {
    log(pando::kLogWarn, "ERROR invalid xml file path. Could not read data from path %s",
        path.c_str());
    log(pando::kLogWarn, "Error Description %s", error.c_str());
    return false;
  }
  auto document = XMLDocumentReader::parse(bytes, XMLDocumentReader::Mode::kLenient, error);
  if (!document) {
    log(pando::kLogWarn, "Error in initWithXMLPath %s", path.c_str());
    log(pando::kLogWarn, "Error Description %s", error.c_str());
    return false;
  }
  document_.reset(document.release());
  return true;
}

bool XMLParser::initWithXMLString(const std::string& text) {
  if (document_) {
    log(pando::kLogWarn,
        "Error Description : XML is already initialized, tring to initilize again.");
    return false;
  }
  std::string error;
  auto document = XMLDocumentReader::parse(text, XMLDocumentReader::Mode::kStrict, error);
  if (!document) {
    log(pando::kLogDebug, "Error in initWithXMLString, error description - %s", error.c_str());
    return false;
  }
  document_.reset(document.release());
  return true;
}

bool XMLParser::nodeExistsXQuery(const std::string& query) const {
  if (!requireDocument("Error in nodeExistsXQuery for query - " + query)) return false;
  const Matches matches = evaluate(document_.get(), query);
  if (matches.failed || matches.nodes.empty()) {
    log(pando::kLogDebug, "Node count < 0 in nodeExistsXQuery for query - %s", query.c_str());
    return false;
  }
  return true;
}

bool XMLParser::stringValueForXQuery(const std::string& query, std::string& value) const {
  if (!requireDocument("Error in stringValueForXQuery for query - " + query)) return false;
  const Matches matches = evaluate(document_.get(), query);
  if (matches.failed || matches.nodes.empty()) {
    log(pando::kLogDebug, "Node count < 0 in stringValueForXQuery for query - %s", query.c_str());
    return false;
  }
  std::optional<std::string> text = stringValue(matches.nodes.front());
  if (!text) {
    log(pando::kLogDebug,
        "Error is accessing property value in stringValueForXQuery for query - %s", query.c_str());
    return false;
  }
  value = std::move(*text);
  return true;
}

bool XMLParser::stringValueListForXQuery(const std::string& query, std::vector<std::string>& values,
                                         int* count) const {
  if (!requireDocument("Error in stringValueListForXQuery - " + query)) return false;
  const Matches matches = evaluate(document_.get(), query);
  if (matches.failed) {
    log(pando::kLogWarn, "Node count < 0 in getNodeForXQuery for query - %s. or got error %s",
        query.c_str(), matches.error.c_str());
    return false;
  }
  int appended = 0;
  for (size_t i = 0; i < matches.nodes.size(); ++i) {
    std::optional<std::string> text = stringValue(matches.nodes[i]);
    if (!text) {
      log(pando::kLogWarn, "stringValueListForXQuery - %s - NULL at %d", query.c_str(),
          static_cast<int>(i));
      continue;
    }
    values.push_back(std::move(*text));
    ++appended;
  }
  if (count) *count = appended;
  return true;
}

XMLNode XMLParser::getNodeForXQuery(const std::string& query) const {
  if (!requireDocument("Error in getNodeForXQuery for query - " + query)) return nullptr;
  const Matches matches = evaluate(document_.get(), query);
  if (matches.failed || matches.nodes.empty()) {
    log(pando::kLogDebug, "Node count < 0 in getNodeForXQuery for query - %s", query.c_str());
    return nullptr;
  }
  return matches.nodes.front();
}

XMLNodeList XMLParser::getNodeListForXQuery(const std::string& query, int* count) {
  if (count) *count = 0;
  if (!requireDocument("Error in getNodeListForXQuery for query - " + query)) return nullptr;
  Matches matches = evaluate(document_.get(), query);
  if (matches.failed) {
    log(pando::kLogDebug, "Node Not found in getNodeListForXQuery for query - %s - err( %s )",
        query.c_str(), matches.error.c_str());
    return nullptr;
  }
  if (matches.nodes.empty()) return nullptr;
  const int found = static_cast<int>(matches.nodes.size());
  nodeLists_.push_back(std::make_unique<XMLNodeArray>(std::move(matches.nodes)));
  if (count) *count = found;
  return nodeLists_.back().get();
}

XMLNode XMLParser::getNodeAtIndexFromNodeList(XMLNodeList list, int index) const {
  if (!requireDocument("Error in getNodeAtIndexFromNodeList")) return nullptr;
  if (!list) {
    log(pando::kLogDebug, "Error in getNodeAtIndexFromNodeList, OvNodeList is NULL");
    return nullptr;
  }
  if (index < 0 || static_cast<size_t>(index) >= list->nodes().size()) {
    log(pando::kLogDebug, "Error in getNodeAtIndexFromNodeList, invalid index - %d ", index);
    return nullptr;
  }
  return list->nodes()[static_cast<size_t>(index)];
}

bool XMLParser::getNodeXMLString(XMLNode node, std::string& text) const {
  if (!requireDocument("Error in getNodeXMLString")) return false;
  if (!node) {
    log(pando::kLogDebug, "Error in getNodeXMLString, node is null");
    return false;
  }
  if (!node->children) {
    log(pando::kLogDebug, "Error in getNodeXMLString, current node is null");
    return false;
  }
  for (xmlNode* child = node->children; child; child = child->next) {
    if (child->type == XML_COMMENT_NODE) continue;
    std::optional<std::string> serialized = serializeNode(child);
    if (!serialized) return false;
    text = std::move(*serialized);
    return true;
  }
  return false;
}

bool XMLParser::getNodeXMLStringOfNode(XMLNode node, std::string& text) const {
  if (!requireDocument("Error invalid access in getNodeXMLStringOfNode")) return false;
  if (!node) {
    log(pando::kLogDebug, "Error in getNodeXMLString, node is null");
    return false;
  }
  std::optional<std::string> serialized = serializeNode(node);
  if (!serialized) return false;
  text = std::move(*serialized);
  return true;
}

std::map<std::string, std::string> XMLParser::getMapFromNode(XMLNode node) const {
  std::map<std::string, std::string> map;
  if (!requireDocument("Error in getMapFromNode")) return map;
  if (!node) {
    log(pando::kLogDebug, "getMapFromNode ... node is null");
    return map;
  }
  for (xmlNode* child = node->children; child; child = child->next) {
    if (child->type != XML_ELEMENT_NODE) continue;
    if (std::optional<std::string> value = stringValue(child)) {
      map.emplace(qualifiedName(child), std::move(*value));
    }
  }
  return map;
}

std::map<std::string, std::string> XMLParser::getMapOfNode(XMLNode node) const {
  std::map<std::string, std::string> map;
  if (!requireDocument("Error in getMapOfNode")) return map;
  if (!node) {
    log(pando::kLogDebug, "getMapFromNode ... node is null");
    return map;
  }
  if (isTextual(node) || !node->name) return map;
  if (std::optional<std::string> value = stringValue(node)) {
    map.emplace(qualifiedName(node), std::move(*value));
  }
  return map;
}

std::map<std::string, std::string> XMLParser::getAttributeMapFromNode(XMLNode node) const {
  std::map<std::string, std::string> map;
  if (!requireDocument("Error in getMapFromNode")) return map;
  if (!node) {
    log(pando::kLogDebug, "getMapFromNode ... node is null");
    return map;
  }
  if (node->type != XML_ELEMENT_NODE) return map;
  for (xmlAttr* attribute = node->properties; attribute; attribute = attribute->next) {
    const auto* asNode = reinterpret_cast<const xmlNode*>(attribute);
    if (std::optional<std::string> value = stringValue(asNode)) {
      map.emplace(qualifiedName(asNode), std::move(*value));
    }
  }
  return map;
}

bool XMLParser::getRootNode(XMLNode& root) const {
  if (!document_) {
    log(pando::kLogDebug, "Error in getRootNode");
    return false;
  }
  root = xmlDocGetRootElement(document_.get());
  return true;
}

xmlNode* XMLParser::workbench() {
  if (!workshop_) {
    DocumentHandle workshop(xmlNewDoc(xml("1.0")));
    if (!workshop) return nullptr;
    xmlNode* bench = xmlNewDocNode(workshop.get(), nullptr, xml("workbench"), nullptr);
    if (!bench) return nullptr;
    xmlDocSetRootElement(workshop.get(), bench);
    workshop_ = std::move(workshop);
  }
  return xmlDocGetRootElement(workshop_.get());
}

XMLNode XMLParser::makeElement(const std::string& name, const std::string& value) {
  if (!XMLCharacters::isValidName(name) || !XMLCharacters::isValidText(value)) {
    log(pando::kLogDebug,
        "Error in createNodeWithNameAndValue, the name is not an XML name or the value holds "
        "characters XML cannot carry.");
    return nullptr;
  }
  xmlNode* bench = workbench();
  xmlNode* element = bench ? xmlNewDocNode(bench->doc, nullptr, xml(name), nullptr) : nullptr;
  if (!element) {
    log(pando::kLogDebug, "Error in createNodeWithNameAndValue, XML Not initialized.");
    return nullptr;
  }
  appendChild(bench, element);
  if (!value.empty()) {
    xmlNode* text = xmlNewDocTextLen(bench->doc, xml(value), static_cast<int>(value.size()));
    if (!text) {
      log(pando::kLogDebug, "Error in createNodeWithNameAndValue, XML Not initialized.");
      return nullptr;
    }
    appendChild(element, text);
  }
  return element;
}

bool XMLParser::createNodeWithNameAndValue(const std::string& name, const std::string& value,
                                           XMLNode& node) {
  XMLNode element = makeElement(name, value);
  if (!element) return false;
  node = element;
  return true;
}

bool XMLParser::addChildToNode(const std::string& name, const std::string& value, XMLNode parent) {
  XMLNode child = nullptr;
  return addChildToNode(name, value, parent, child);
}

bool XMLParser::addChildToNode(const std::string& name, const std::string& value, XMLNode parent,
                               XMLNode& child) {
  if (!parent) {
    log(pando::kLogDebug, "Error in createNodeWithNameAndValue, node is null!");
    return false;
  }
  if (parent->type != XML_ELEMENT_NODE) {
    log(pando::kLogDebug, "Error in addChildToNode, the parent is not an element!");
    return false;
  }
  XMLNode element = makeElement(name, value);
  if (!element) {
    log(pando::kLogDebug, "createNodeWithNameAndValue fails inside addChildToNode!");
    return false;
  }
  appendChild(parent, element);
  child = element;
  return true;
}

bool XMLParser::addChildToNode(XMLNode node, XMLNode parent) {
  if (!node || !parent) {
    log(pando::kLogDebug, "Error in addChildToNode, newNode or node is null!");
    return false;
  }
  if (parent->type != XML_ELEMENT_NODE || !isMovable(node)) {
    log(pando::kLogDebug, "Error in addChildToNode, this node cannot be moved to that parent!");
    return false;
  }
  if (isInside(parent, node)) {
    log(pando::kLogDebug, "Error in addChildToNode, the parent lies inside the node!");
    return false;
  }
  appendChild(parent, node);
  return true;
}

bool XMLParser::addAttributeToNode(XMLNode node, const std::string& name,
                                   const std::string& value) {
  if (!node) {
    log(pando::kLogDebug, "Error in addAttributeToNode, node is null!");
    return false;
  }
  if (node->type != XML_ELEMENT_NODE) {
    log(pando::kLogDebug, "Error in addAttributeToNode, the node is not an element!");
    return false;
  }
  if (!XMLCharacters::isValidName(name) || !XMLCharacters::isValidText(value)) {
    log(pando::kLogDebug,
        "Error in addAttributeToNode, the name is not an XML name or the value holds characters "
        "XML cannot carry.");
    return false;
  }
  return xmlSetProp(node, xml(name), xml(value)) != nullptr;
}

bool XMLParser::getXMLString(std::string& text) const {
  if (!document_) {
    log(pando::kLogDebug, "Error in getXMLString");
    return false;
  }
  const char* encoding =
      document_->encoding ? reinterpret_cast<const char*>(document_->encoding) : "UTF-8";
  std::optional<std::string> serialized = serializeDocument(document_.get(), encoding);
  if (!serialized) return false;
  text = std::move(*serialized);
  return true;
}

bool XMLParser::writeXMLToPath(const std::string& path) const {
  if (path.empty() || !document_) return false;
  std::optional<std::string> serialized = serializeDocument(document_.get(), "UTF-8");
  return serialized && XMLFileIO::replaceFileAtomically(path, *serialized);
}
