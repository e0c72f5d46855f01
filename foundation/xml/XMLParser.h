#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foundation/logging/AbstractLogger.h"

struct _xmlDoc;
struct _xmlNode;
class XMLNodeArray;

// A node of some document: element, attribute, text, comment, CDATA section or processing
// instruction. Never freed by the caller.
using XMLNode = _xmlNode*;
// An immutable, ordered copy of a query's matches, owned by the parser that made it.
using XMLNodeList = const XMLNodeArray*;

// One XML document, loaded once from a file or a text, read through XPath queries (evaluated with
// the document node as context) and built by adding elements and attributes. Every failure is a
// false, null or empty result and a log line under the component "XMLParser" through the given
// logger, else through the foundation's fallbacks (foundation/logging/UtilsLog.h). Nothing throws.
//
// Loading never touches the network or the disk beyond the named file, never loads a DTD and
// never substitutes entities: a DOCTYPE and any entity references are dropped from the loaded tree.
// Text is parsed strictly; files leniently (the parser repairs malformed markup, and only a file
// without a root element fails). Files over 128 MiB are refused before they are read.
//
// Ownership: a node belongs to the tree it sits in. The loaded document is freed with the parser;
// elements made by createNodeWithNameAndValue stay the parser's until they are added to a parent,
// and from then on go with that parent's tree, which may be another parser's document. Handles
// and node lists stay valid until the tree holding them (for lists, this parser) is destroyed.
//
// Names and texts given to the building operations must be valid UTF-8 of characters XML allows,
// names a valid XML Name (see XMLCharacters.h); anything else is refused. Text is stored
// literally: it comes back byte for byte and is escaped on output. Adding an attribute that the
// element already carries replaces its value.
//
// Not thread-safe: a parser, and the nodes of its trees, belong to one thread at a time.
class XMLParser {
 public:
  // The logger is not owned and must outlive the parser; null logs through the fallbacks.
  explicit XMLParser(pando::AbstractLogger* logger = nullptr);
  ~XMLParser();
  XMLParser(const XMLParser&) = delete;
  XMLParser& operator=(const XMLParser&) = delete;

  // Loading succeeds once; a later attempt fails and leaves the loaded document in place.
  bool initWithXMLPath(const std::string& path);
  bool initWithXMLString(const std::string& xml);
  bool isInitialized() const;

  // Lookups need a loaded document. Out values change only on success; namespace nodes never
  // match; a query whose result is not a node set (a number, a string) is an error.
  bool nodeExistsXQuery(const std::string& query) const;
  // The first match's string value: the text of all descendants of an element, an attribute's
  // value.
  bool stringValueForXQuery(const std::string& query, std::string& value) const;
  // Appends every match's string value; `count` (may be null) receives the number appended.
  bool stringValueListForXQuery(const std::string& query, std::vector<std::string>& values,
                                int* count) const;
  XMLNode getNodeForXQuery(const std::string& query) const;
  // Null when nothing matches; `count` (may be null) is set to 0 first.
  XMLNodeList getNodeListForXQuery(const std::string& query, int* count);
  XMLNode getNodeAtIndexFromNodeList(XMLNodeList list, int index) const;

  // XML text, without pretty printing, of the node's first child that is not a comment.
  bool getNodeXMLString(XMLNode node, std::string& xml) const;
  // XML text of the node itself, without pretty printing.
  bool getNodeXMLStringOfNode(XMLNode node, std::string& xml) const;
  // Element children's qualified names to their string values; the first of a repeated name
  // wins. Other children (text, comments) contribute nothing.
  std::map<std::string, std::string> getMapFromNode(XMLNode node) const;
  // The node's own qualified name to its string value; empty for text, CDATA and comments.
  std::map<std::string, std::string> getMapOfNode(XMLNode node) const;
  std::map<std::string, std::string> getAttributeMapFromNode(XMLNode node) const;
  // True with a loaded document; `root` is then its root element, or null when it has none.
  bool getRootNode(XMLNode& root) const;

  // Building works with or without a loaded document. Parents must be elements.
  bool createNodeWithNameAndValue(const std::string& name, const std::string& value, XMLNode& node);
  bool addChildToNode(const std::string& name, const std::string& value, XMLNode parent);
  bool addChildToNode(const std::string& name, const std::string& value, XMLNode parent,
                      XMLNode& child);
  // Moves an element, text, comment, CDATA section or processing instruction, from whichever
  // tree holds it, to the end of `parent`'s children. Refused when `parent` lies inside `node`.
  bool addChildToNode(XMLNode node, XMLNode parent);
  bool addAttributeToNode(XMLNode node, const std::string& name, const std::string& value);

  // The whole document, pretty printed, in UTF-8 whatever encoding it declared. An XML
  // declaration (naming UTF-8) is written only when the document declared an encoding.
  bool getXMLString(std::string& xml) const;
  // The whole document, pretty printed in UTF-8, replacing the file atomically. The document's
  // declared encoding is left as it was. False for an empty path or without a document.
  bool writeXMLToPath(const std::string& path) const;

 private:
  struct DocumentRelease {
    void operator()(_xmlDoc* document) const;
  };
  using DocumentHandle = std::unique_ptr<_xmlDoc, DocumentRelease>;

  void log(int level, const char* format, ...) const __attribute__((format(printf, 3, 4)));
  // Logs "XML Not initialized" and then `failure` when no document is loaded.
  bool requireDocument(const std::string& failure) const;
  // requireDocument, then a logged refusal of a null node.
  bool requireNode(XMLNode node, const std::string& failure) const;
  // The nodes the query selects; none, after the lookup's logs, without a document, for a failed
  // query or when nothing matches.
  std::vector<XMLNode> matchingNodes(const char* lookup, const std::string& query) const;
  XMLNode makeElement(const std::string& name, const std::string& value);
  _xmlNode* workbench();

  pando::AbstractLogger* logger_;
  DocumentHandle document_;
  std::vector<std::unique_ptr<XMLNodeArray>> nodeLists_;
  // Holds created elements until they are placed, so that an element is freed exactly once:
  // with this document while it is still here, with its new tree once it has moved.
  DocumentHandle workshop_;
};
