#pragma once

#include <libxml/tree.h>

#include <memory>
#include <string>
#include <string_view>

// Turns bytes into a libxml2 document for XMLParser, under the house rules for XML that may come
// from the network or be read by a root process: nothing is fetched (no network, no external DTD
// or entity, whatever the document names), no entity is substituted, the parser's size and
// depth limits stay in force, and a document past XMLDocumentLimits is refused before parsing.
//
// A loaded tree carries no DOCTYPE and no entity references: they are removed right after parsing,
// so no later string value, query or serialisation expands a declared entity. Documents own their
// strings (no shared dictionary), so nodes may move between documents and be freed by either.
// Callable from any thread.
namespace XMLDocumentReader {

struct DocumentFree {
  void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
using Document = std::unique_ptr<xmlDoc, DocumentFree>;

enum class Mode {
  kStrict,   // any error fails the load
  kLenient,  // the parser repairs what it can; fails only without a root element
};

// Null on failure, with the parser's description of the first error in `error`.
Document parse(std::string_view bytes, Mode mode, std::string& error);

}  // namespace XMLDocumentReader
