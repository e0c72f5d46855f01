#pragma once

#include <cstddef>
#include <string>

// A JSON document of at least minimumSize bytes: an array of records mixing objects, arrays,
// integers (signed, and unsigned beyond 32 bits), reals, booleans, nulls and strings with escapes
// and non-ASCII text. The same seed gives the same document.
std::string makeBenchDocument(std::size_t minimumSize, unsigned seed);
