#pragma once

#include <string>

// Who signed a file, as the code-signing tool reports it (platform::Tool::kCodesign, run as
// "codesign -dvv <path>"), and whether that names the maker. Free functions without state,
// callable from any thread; they block while the tool runs and log nothing.
//
// An authority chain is the tool's "Authority=" names in output order joined by "{|}"; an empty
// chain means none was found. A tool that does not exit with status 0 verified nothing, so its
// output yields no authority.

// Appends the authorities of the file to `chain` ("{|}" before each when `chain` is not empty).
// A missing file, a missing tool or a failed check leaves `chain` unchanged.
void getCodeSigningAuthorities(const std::string& path, std::string& chain);

// `chain` is set to the file's authorities; true when there are none (the file is rejected).
bool getCANameChain(const std::string& path, std::string& chain);

// Whether the chain names the maker: lower-cased, without "," and ".", it contains
// "orvel systems inc" (which "orvel systems incorporated" contains too).
bool isOrvelCANameChain(const std::string& chain);
