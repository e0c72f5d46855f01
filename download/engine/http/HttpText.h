#pragma once

#include <string>

// Text rules for what the engine puts into an HTTP request.
namespace gde {

// Percent-escapes only the bytes that may not appear in a URL (controls, space, bytes above 0x7E
// and "\"<>\\^`{|}"), and a "%" that does not start a two-digit hex escape. Every escape already
// in the text, "%2F", "%3F", "%23", "%25" and "%00" included, passes unchanged: the URL is never
// un-escaped, so escaped delimiters keep their meaning.
std::string escapeIllegalUrlBytes(const std::string& url);
bool hasIllegalUrlBytes(const std::string& text);
// The URL as a log line may show it: without user information, query and fragment, which may
// carry credentials and tokens.
std::string loggableUrl(const std::string& url);

// False when a header name or value holds CR, LF or NUL, which would let it end the header line
// and inject another one. A name must also not be empty.
bool isSafeHeaderName(const std::string& name);
bool isSafeHeaderValue(const std::string& value);

}  // namespace gde
