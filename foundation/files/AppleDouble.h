#pragma once

#include "foundation/logging/AbstractLogger.h"

// Merges AppleDouble data (a "._name" file of a macOS archive) onto the file it describes, as
// macOS does when it unpacks one: the Finder info, the extended attributes kept behind it and the
// resource fork become extended attributes of the file, here in the "user." name space
// ("user.com.apple.FinderInfo", "user.<name>", "user.com.apple.ResourceFork"). An attribute that
// the file system refuses (no user attributes there, value too large) is left out with a log line;
// access-control lists have no Linux form and are left out likewise. Every offset and length is
// checked against the data before it is read, and no value larger than an attribute can hold is
// read at all. Stateless; callable from any thread.
namespace files {

// Reads the AppleDouble data from `sourceFd` (from its start) and applies them to `targetFd`.
// False, after a log line under "UnzipHandler", when the data are not AppleDouble or an entry
// lies outside them; attributes set before the fault stay.
bool mergeAppleDouble(int sourceFd, int targetFd, const char* targetPath,
                      pando::AbstractLogger* logger);

}  // namespace files
