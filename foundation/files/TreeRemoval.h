#pragma once

#include <string>

// Removing files and folder trees without ever following a link: a link is removed itself, and a
// folder is emptied through descriptors, so that a link swapped in during the walk cannot send
// it elsewhere. Stateless; callable from any thread.
namespace files {

// Removes whatever is at `path` (a folder with everything in it). A link at `path` is removed,
// not followed. False with `error` set to the errno of the first failure.
bool removeItem(const std::string& path, int& error);

// The same for the entry `name` of the open folder `folderFd`.
bool removeEntryAt(int folderFd, const std::string& name, int& error);

}  // namespace files
