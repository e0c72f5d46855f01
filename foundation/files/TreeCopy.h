#pragma once

#include <string>

// Copying files, links and folder trees natively: modes, links (as links) and access and
// modification times are kept, and so are owners when the process runs as root. Entries are
// created through descriptors, never by following a link at the destination. Regular files,
// folders, links and FIFOs are copied; any other kind fails the copy. Stateless; callable from
// any thread.
namespace files {

// Copies whatever is at `source` (a link as a link) to `destination`, which must not exist and
// whose folder must. False with `error` set to the errno of the first failure.
bool copyItem(const std::string& source, const std::string& destination, int& error);

// Copies the contents of the folder `source` into the existing folder `destination` (a link there
// is not followed), replacing entries of the same name; a folder onto a folder merges. The
// destination folder takes the source folder's mode, owner and times.
bool mergeFolder(const std::string& source, const std::string& destination, int& error);

}  // namespace files
