#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A linear pass over a document's markup before libxml2 sees it. libxml2 checks an element's
// attributes for duplicates in quadratic time (50,000 attributes take many seconds), so documents
// from the network are held to a bound far beyond anything this product reads. Deep nesting and
// huge element texts need no pass of their own: libxml2 refuses the one and reads the other in
// linear time. A comment, CDATA section, processing instruction or tag it refuses near 10,000,000
// bytes (sooner where large ones follow each other), and lifting that (XML_PARSE_HUGE) would lift
// its depth and entity-expansion bounds too; the pass refuses one past a lower bound first, so
// that the refusal says why. It reads 8-bit encodings
// byte by byte and UTF-16 (by byte-order mark or a leading "<" unit) unit by unit; markup that does
// not parse is left for the parser to refuse. Pure; callable from any thread.
namespace XMLDocumentLimits {

inline constexpr size_t kMaxAttributes = 256;  // per element, namespace declarations included
// Code units of one comment, CDATA section, processing instruction or tag, between its
// delimiters.
inline constexpr size_t kMaxMarkupLength = size_t{8} << 20;

// False, with the reason in `error`, when an element has more attributes than kMaxAttributes or
// one piece of markup is longer than kMaxMarkupLength.
bool withinLimits(std::string_view bytes, std::string& error);

}  // namespace XMLDocumentLimits
