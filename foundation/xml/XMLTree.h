#pragma once

#include <libxml/tree.h>

#include <optional>
#include <string>

// Node-level reading, linking and serialisation for XMLParser. The caller owns the trees; these
// functions keep nothing. Callable from any thread for trees no other thread uses.
namespace XMLTree {

// An element's concatenated descendant text, an attribute's value, other nodes' content; none
// when the library yields nothing.
std::optional<std::string> stringValue(const xmlNode* node);

// The name as written in the document, prefix included.
std::string qualifiedName(const xmlNode* node);

// Text, CDATA and comments: nodes that carry content but no name.
bool isTextual(const xmlNode* node);

// Elements, text, CDATA, comments and processing instructions: what may be relinked.
bool isMovable(const xmlNode* node);

// Whether `candidate` is `ancestor` or lies below it.
bool isInside(const xmlNode* candidate, const xmlNode* ancestor);

// Unlinks the node from wherever it is and appends it to the parent's children, moving it into
// the parent's document if needed. Unlike libxml2's own append this never merges text nodes,
// which would free the appended node and leave its handles dangling.
void appendChild(xmlNode* parent, xmlNode* node);

// The node's XML text without pretty printing; an attribute reads name="value".
std::optional<std::string> serializeNode(xmlNode* node);

// The whole document, pretty printed, in UTF-8. An XML declaration (naming UTF-8) is written only
// when the document declares an encoding; the document's own declaration is left as it was.
std::optional<std::string> serializeDocument(xmlDoc* document);

}  // namespace XMLTree
