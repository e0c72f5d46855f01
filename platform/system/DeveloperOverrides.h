#pragma once

#include <optional>
#include <string>

// The one reader of the WEND_* settings that redirect the program for tests, the demo and the
// benchmark: tool paths, the CA file, the service base, the private root, the console user, the
// mount table, the OS version, the time scale and the certificates the codesign stand-in trusts.
// They are honoured only in a build made with the CMake option WEND_DEVELOPER_OVERRIDES (on by
// default); a product build leaves it off, so the environment of an elevated run cannot point it at
// a planted tool, CA or server. Other variables (the proxies, PKEXEC_UID and SUDO_UID, the XDG
// folders) are not overrides and are read where they are used. Stateless; callable from any thread.
namespace platform {

// True when this build honours the overrides.
bool developerOverridesEnabled();

// The value of the variable `name` (one of the WEND_* overrides) when the build honours overrides
// and the variable is set and not empty; nullopt otherwise.
std::optional<std::string> developerOverride(const char* name);

}  // namespace platform
