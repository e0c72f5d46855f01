#pragma once

#include <string>
#include <vector>

// Listing a folder that is already open, so that the listing reads the very folder that the
// caller checked. Stateless; callable from any thread.
namespace files {

// The names in the folder, "." and ".." left out, sorted bytewise. False with `error` set to
// errno when the folder cannot be read.
bool folderEntryNames(int folderFd, std::vector<std::string>& names, int& error);

}  // namespace files
