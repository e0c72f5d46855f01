#pragma once

#include <string>

namespace wendtest {

// Runs this test executable again as a later run of the installer (see ProfileChild.cc): a fresh
// sign-in profile that looks for the stored user. Returns the child's exit status (0 when it found
// one, 1 when not) and what it printed: the user GUID and the first text field, one per line.
int runProfileChild(std::string& output);

}  // namespace wendtest
