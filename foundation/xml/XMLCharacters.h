#pragma once

#include <string_view>

// What may go into a document as a name or as text. Anything else would either be cut short
// (an embedded NUL), be written out as markup, or make the serialised document unreadable.
// Pure functions, callable from any thread.
namespace XMLCharacters {

// Well-formed UTF-8 (no overlong forms) whose every character is one that XML 1.0 allows in
// content: tab, line feed, carriage return and U+0020 upwards, without surrogates, U+FFFE and
// U+FFFF. The empty text is valid.
bool isValidText(std::string_view text);

// A valid text that also matches XML's Name production, so that it can stand as an element or
// attribute name without closing or opening any markup. The empty name is invalid.
bool isValidName(std::string_view name);

}  // namespace XMLCharacters
