#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/logging/AbstractLogger.h"

// Standard Base64 ("A-Z a-z 0-9 + /", "=" padding, no line breaks). Part of StringUtils; include
// foundation/text/StringUtils.h. Stateless, callable from any thread. Logs at kLogWarn under
// "StringUtils" through `logger`, else the utilities' fallbacks.
namespace StringUtils {

// Appends the encoding of `length` bytes to `out`. False (and a log line) for null data or zero
// length.
bool utilEncodeDataInBase64(const void* bytes, size_t length, std::string& out,
                            pando::AbstractLogger* logger = nullptr);

// Decodes `text`, reading at most `length` bytes and stopping early at a NUL. The decoder is
// lenient: bytes outside "0".."z" other than "+" and "/" (blanks, line breaks, "-") are skipped,
// punctuation inside that range decodes as 0, and padding may close a group in mid-text. It is
// malformed when a group's first or second character is "=", when "=" in third place is not
// followed by "=", or when one to three characters are left over at the end.
// On success `decodedLength` is set and, when `buffer` is given and the size is not 0, *buffer
// receives the bytes. False (and a log line) for null text, zero length or malformed text.
bool utilDecodeBase64Data(const char* text, size_t length, std::unique_ptr<unsigned char[]>* buffer,
                          size_t& decodedLength, pando::AbstractLogger* logger = nullptr);

// Decodes `text` only when it is exactly what utilEncodeDataInBase64 writes: the standard
// alphabet, no blanks or line breaks, a length that is a multiple of four, "=" only as the last
// one or two characters, and the unused bits of the last group 0. `bytes` is replaced on success
// and untouched on failure. For data from another process, where the lenient rules would let
// damaged text through. No log line: the caller knows what the text was.
bool utilDecodeBase64Strict(std::string_view text, std::vector<unsigned char>& bytes);

}  // namespace StringUtils
