#pragma once

#include <string>

// The macOS version this Linux build stands for, as the system would report it: WEND_OS_VERSION
// when set (tests reach the version checks with it), else "10.15.7". Text, unparsed.
namespace platform {

std::string macOSVersionText();

}  // namespace platform
