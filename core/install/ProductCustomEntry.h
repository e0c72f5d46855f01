#pragma once

#include <string>

class XMLParser;

// The custom entries of a products document: the "value" of
// custom-data/custom-entry[@key=...] below a product element. Both products readers go through
// these, so the entry path and the quoting of its texts exist once. Stateless; any thread (a
// parser is still one thread's at a time).

// "'text'", or "\"text\"" when the text holds a "'"; a text holding both quote marks becomes a
// concat() of pieces, so no text can end the literal early and change the query.
std::string xpathLiteral(const std::string& text);

// The path of the values of the custom entry `key` below every product `productPath` selects.
std::string customEntryXPath(const std::string& productPath, const std::string& key);

// The first of those values in document order; "" when none matches or nothing is loaded.
std::string customEntryValue(const XMLParser& parser, const std::string& productPath,
                             const std::string& key);
