#pragma once

#include <string>

namespace Json {

// Appends the bytes in [begin, end) as a quoted JSON string. Double quote and backslash are
// escaped, backspace, form feed, line feed, carriage return and tab as \b \f \n \r \t, every other
// byte below 0x20 (NUL included) as \u00XX in upper-case hex; every other byte, 0x7F and UTF-8
// sequences included, passes unchanged.
void appendQuotedString(std::string& out, const char* begin, const char* end);

}  // namespace Json
