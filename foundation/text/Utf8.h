#pragma once

#include <string>
#include <string_view>

// Strict UTF-8 checks and the UTF-16 fallback that text files may need. Pure functions, callable
// from any thread.
namespace Utf8 {

// True for well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValid(std::string_view bytes);

// Converts UTF-16 text to UTF-8. A leading byte-order mark selects the byte order and is dropped;
// without one the text is read big-endian. False for an odd length or an unpaired surrogate; the
// output is then unchanged.
bool fromUtf16(std::string_view bytes, std::string& out);
// The same for text that starts with a byte-order mark; false without one, since nothing else
// tells UTF-16 from bytes that are merely broken.
bool fromMarkedUtf16(std::string_view bytes, std::string& out);

}  // namespace Utf8
