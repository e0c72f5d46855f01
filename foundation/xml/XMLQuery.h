#pragma once

#include <libxml/tree.h>

#include <string>
#include <vector>

// XPath evaluation for XMLParser. Callable from any thread for documents no other thread uses.
namespace XMLQuery {

struct Matches {
  bool failed = false;  // a malformed query, or one whose result is not a node set
  std::string error;    // why, when failed
  std::vector<xmlNode*> nodes;
};

// Evaluates the query with the document node as context. The matches are nodes of the document,
// in document order; namespace nodes are left out, since the result owns them and they would die
// with it.
Matches evaluate(xmlDoc* document, const std::string& query);

}  // namespace XMLQuery
