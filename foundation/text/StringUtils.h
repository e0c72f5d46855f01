#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/text/Base64.h"
#include "foundation/text/Gunzip.h"
#include "foundation/text/UrlEscaping.h"

// Free functions on byte strings holding UTF-8. They keep no state and may be called from any
// thread. Nothing throws; functions returning bool write their out parameter only on success
// unless a comment says otherwise. Base64, URL escaping and gzip live in their own headers,
// included here so that callers need only this one.
namespace StringUtils {

// Conversions. UTF-8 is the native encoding here, so the "to" and "from" UTF-8 forms copy.
// A null text is refused (false, out unchanged); the Safe form turns it into "".
bool utilConvertCStringToString(const char* text, std::string& out);
bool utilConvertCStringToStringSafe(const char* text, std::string& out);
bool utilConvertToUTF8String(const std::string& text, std::string& out);
bool utilConvertFromUTF8String(const std::string& text, std::string& out);
std::string convertToUTF8String(const std::string& text, int ignored = 0);
std::string convertFromUTF8String(const std::string& text, int ignored = 0);

bool utilConvertIntToString(int value, std::string& out);        // "%d"
bool utilConvertInt64ToString(int64_t value, std::string& out);  // "%lld"
bool utilConvertDoubleToString(double value, std::string& out);  // "%f", six decimals
std::string utilFormatInt(int value);
std::string utilIntToString(int value);
std::string utilLongToString(long value);

// atoi: leading blanks skipped, reading stops at the first non-digit, 0 when nothing is read.
// Values beyond int are clamped.
int utilConvertStringToInt(const std::string& text);
// "0x"/"0X" at the very start reads hexadecimal, anything else signed decimal (leading blanks
// skipped); 0 when the text does not begin with a number.
int64_t utilConvertStringToInt64(const std::string& text);

// "major.minor.patch".
bool utilVersionToString(int major, int minor, int patch, std::string& out);
// list = key + ":" + value + ("," + old list when it was not empty): newest item first.
void utilPrependKeyValue(const std::string& key, int value, std::string& list);
// "Error <n> <strerror(n)>"; -1 stands for the current errno.
void utilGetErrorString(std::string& out, int errorNumber);

// A random UUID: 36 upper-case hexadecimal characters in groups 8-4-4-4-12, no braces.
bool utilCreateUUIDString(std::string& out);

// Replaces every `from` left to right, resuming behind each inserted `to` (so "%" -> "%%" ends).
// An empty `from` changes nothing.
void utilReplaceAll(std::string& text, const std::string& from, const std::string& to);
// Clears `pieces`, then appends the texts between delimiters, empty ones included (a trailing
// delimiter gives an empty last piece). Returns the count; "" gives none. An empty delimiter
// gives the whole text as one piece.
int utilSplitString(std::vector<std::string>& pieces, const std::string& text,
                    const std::string& delimiter);
std::string utilJoinStrings(const std::vector<std::string>& pieces, const std::string& separator);
// The text without leading and trailing spaces and tabs; a view into `text`.
std::string_view utilTrimBlanks(std::string_view text);
// ASCII letters only; every other byte stays as it is.
std::string utilToLower(const std::string& text);
std::string utilToUpper(const std::string& text);

// Dotted versions: up to four numbers, compared component by component.
using VersionNumbers = std::array<int, 4>;
// Sets one number per "."-separated piece, at most four, each read like atoi; numbers the text
// lacks keep the caller's values (start from zeros).
bool utilParseVersionString(const std::string& text, VersionNumbers& version);
// -1 when a is older, 1 when newer, 0 when equal.
int utilCompareVersions(const VersionNumbers& a, const VersionNumbers& b);

// 0 for an empty URL. Otherwise 1; when the URL has a "?", every "&"-separated pair after the
// first "?" sets query[name] = value (later pairs win, nothing is percent-decoded, text after a
// second "=" is ignored, a pair without "=" gives an empty value, empty pairs are skipped).
int utilParseURLQuery(const std::string& url, std::map<std::string, std::string>& query);

}  // namespace StringUtils
