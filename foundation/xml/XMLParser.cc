#include "foundation/xml/XMLParser.h"

#include <libxml/tree.h>

#include <cstdarg>
#include <optional>

#include "foundation/logging/UtilsLog.h"
#include "foundation/xml/XMLCharacters.h"
#include "foundation/xml/XMLDocumentReader.h"
#include "foundation/xml/XMLLibrary.h"
#include "foundation/xml/XMLQuery.h"
#include "foundation/xml/XMLTree.h"
#include "platform/files/AtomicFile.h"
#include "platform/files/FileContents.h"

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

using XMLLibrary::xml;

// The node's qualified name to its string value, unless the name is already there.
void addNamedValue(std::map<std::string, std::string>& map, const xmlNode* node) {
  if (std::optional<std::string> value = XMLTree::stringValue(node)) {
    map.emplace(XMLTree::qualifiedName(node), std::move(*value));
  }
}

}  // namespace

void XMLParser::DocumentRelease::operator()(_xmlDoc* document) const {
  xmlFreeDoc(document);
}

XMLParser::XMLParser(pando::AbstractLogger* logger) : logger_(logger) {
  XMLLibrary::prepare();
}

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

std::vector<XMLNode> XMLParser::matchingNodes(const char* lookup, const std::string& query) const {
  if (!requireDocument(std::string("Error in ") + lookup + " for query - " + query)) return {};
  XMLQuery::Matches matches = XMLQuery::evaluate(document_.get(), query);
  if (matches.failed || matches.nodes.empty()) {
    log(pando::kLogDebug, "Node count < 0 in %s for query - %s", lookup, query.c_str());
    return {};
  }
  return std::move(matches.nodes);
}

bool XMLParser::requireNode(XMLNode node, const std::string& failure) const {
  if (!requireDocument(failure)) return false;
  if (node) return true;
  log(pando::kLogDebug, "getMapFromNode ... node is null");
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
  if (!platform::readRegularFile(path, kMaxDocumentFileBytes, bytes, error)) {
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
  return !matchingNodes("nodeExistsXQuery", query).empty();
}

bool XMLParser::stringValueForXQuery(const std::string& query, std::string& value) const {
  const std::vector<XMLNode> nodes = matchingNodes("stringValueForXQuery", query);
  if (nodes.empty()) return false;
  std::optional<std::string> text = XMLTree::stringValue(nodes.front());
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
  const XMLQuery::Matches matches = XMLQuery::evaluate(document_.get(), query);
  if (matches.failed) {
    log(pando::kLogWarn, "Node count < 0 in getNodeForXQuery for query - %s. or got error %s",
        query.c_str(), matches.error.c_str());
    return false;
  }
  int appended = 0;
  for (size_t i = 0; i < matches.nodes.size(); ++i) {
    std::optional<std::string> text = XMLTree::stringValue(matches.nodes[i]);
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
  const std::vector<XMLNode> nodes = matchingNodes("getNodeForXQuery", query);
  return nodes.empty() ? nullptr : nodes.front();
}

XMLNodeList XMLParser::getNodeListForXQuery(const std::string& query, int* count) {
  if (count) *count = 0;
  if (!requireDocument("Error in getNodeListForXQuery for query - " + query)) return nullptr;
  XMLQuery::Matches matches = XMLQuery::evaluate(document_.get(), query);
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
    std::optional<std::string> serialized = XMLTree::serializeNode(child);
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
  std::optional<std::string> serialized = XMLTree::serializeNode(node);
  if (!serialized) return false;
  text = std::move(*serialized);
  return true;
}

std::map<std::string, std::string> XMLParser::getMapFromNode(XMLNode node) const {
  std::map<std::string, std::string> map;
  if (!requireNode(node, "Error in getMapFromNode")) return map;
  for (xmlNode* child = node->children; child; child = child->next) {
    if (child->type != XML_ELEMENT_NODE) continue;
    addNamedValue(map, child);
  }
  return map;
}

std::map<std::string, std::string> XMLParser::getMapOfNode(XMLNode node) const {
  std::map<std::string, std::string> map;
  if (!requireNode(node, "Error in getMapOfNode")) return map;
  if (XMLTree::isTextual(node) || !node->name) return map;
  addNamedValue(map, node);
  return map;
}

std::map<std::string, std::string> XMLParser::getAttributeMapFromNode(XMLNode node) const {
  std::map<std::string, std::string> map;
  if (!requireNode(node, "Error in getMapFromNode")) return map;
  if (node->type != XML_ELEMENT_NODE) return map;
  for (xmlAttr* attribute = node->properties; attribute; attribute = attribute->next) {
    addNamedValue(map, reinterpret_cast<const xmlNode*>(attribute));
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
  XMLTree::appendChild(bench, element);
  if (!value.empty()) {
    xmlNode* text = xmlNewDocTextLen(bench->doc, xml(value), static_cast<int>(value.size()));
    if (!text) {
      log(pando::kLogDebug, "Error in createNodeWithNameAndValue, XML Not initialized.");
      return nullptr;
    }
    XMLTree::appendChild(element, text);
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
  XMLTree::appendChild(parent, element);
  child = element;
  return true;
}

bool XMLParser::addChildToNode(XMLNode node, XMLNode parent) {
  if (!node || !parent) {
    log(pando::kLogDebug, "Error in addChildToNode, newNode or node is null!");
    return false;
  }
  if (parent->type != XML_ELEMENT_NODE || !XMLTree::isMovable(node)) {
    log(pando::kLogDebug, "Error in addChildToNode, this node cannot be moved to that parent!");
    return false;
  }
  if (XMLTree::isInside(parent, node)) {
    log(pando::kLogDebug, "Error in addChildToNode, the parent lies inside the node!");
    return false;
  }
  XMLTree::appendChild(parent, node);
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
  // Every string handed out is UTF-8, whatever the document declared; the declaration says so.
  std::optional<std::string> serialized = XMLTree::serializeDocument(document_.get());
  if (!serialized) return false;
  text = std::move(*serialized);
  return true;
}

bool XMLParser::writeXMLToPath(const std::string& path) const {
  if (path.empty() || !document_) return false;
  std::optional<std::string> serialized = XMLTree::serializeDocument(document_.get());
  return serialized && platform::replaceFileAtomically(
                           path, *serialized, platform::AtomicFileMode::kKeepReplacedElse0644);
}
