#pragma once

#include <string>

// A private folder for one run: `parent`/`name` made 0700 by one exclusive mkdir. A folder, file
// or link already there refuses it, so a name someone planted is never reused. False, `path`
// untouched, on any failure. Any thread.
bool makePrivateFolder(const std::string& parent, const std::string& name, std::string& path);
