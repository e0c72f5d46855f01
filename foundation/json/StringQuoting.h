#pragma once

#include <string>

namespace Json {

// Appends the bytes in [begin, end) as a quoted JSON string. Double quote and backslash are
// escaped, backspace, form feed, line feed, carriage return and tab as \b \f \n \r \t, every other
// byte below 0x20 (NUL included) as \u00XX in upper-case hex; 0x7F and well-formed UTF-8 pass
// unchanged. Each byte that is not part of well-formed UTF-8 becomes U+FFFD, so the text written
// is always UTF-8.
void appendQuotedString(std::string& out, const char* begin, const char* end);

}  // namespace Json
