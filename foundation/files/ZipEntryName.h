#pragma once

#include <string>
#include <vector>

// The path that a zip entry's name gives below the extraction folder. Archives come from the
// network and are extracted by a root process, so a name that could climb out of the folder is
// refused instead of being repaired. Pure functions; callable from any thread.
namespace files {

// The entry name as written on disk: every "\" becomes "/", and the text stops at a NUL byte.
std::string zipSlashName(const std::string& rawName);

// Splits a name (already through zipSlashName) into its components, dropping empty and "."
// ones. False when the name is absolute or has a ".." component; `parts` is then unspecified.
// A folder entry's trailing "/" leaves no empty last component.
bool zipNameParts(const std::string& name, std::vector<std::string>& parts);

}  // namespace files
