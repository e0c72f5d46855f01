#pragma once

#include <string>

// Percent-escaping of URL text in place. Part of StringUtils; include
// foundation/text/StringUtils.h. Stateless, callable from any thread.
namespace StringUtils {

// Escapes, as "%" and two upper-case hexadecimal digits per UTF-8 byte, every byte that is not a
// letter, a digit or one of "-_.!~*'()". A "%" that already starts an escape ("%" and two
// hexadecimal digits) is kept, a lone one is escaped. False, text unchanged, when it is not
// valid UTF-8.
bool utilEncodeURLString(std::string& text);

// Replaces every "%" followed by two hexadecimal digits by that byte; any other "%" stays. False,
// text unchanged, when the result is not valid UTF-8. The empty text succeeds.
bool utilDecodeURLString(std::string& text);

}  // namespace StringUtils
