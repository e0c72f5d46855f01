#pragma once

// The preferences library's result codes, shared by its C interface and its C++ parts.
#ifdef __cplusplus
extern "C" {
#endif

enum OpmStatus {
  OPM_OK = 0,
  OPM_NOT_FOUND = 1,  // no such value, or one that does not decrypt with this machine's key
  OPM_DATABASE = 2,   // the database cannot be created, opened, read or written
  OPM_CRYPTO = 3,     // no machine signature, or the cipher failed
  OPM_ARGUMENTS = 4,  // a null or empty name, a null pointer, a value over 1 MiB
};

#ifdef __cplusplus
}

namespace prefs {
// "OPM_OK", "OPM_NOT_FOUND", ...; "OPM_UNKNOWN" for any other number.
const char* opmStatusName(int status);
}  // namespace prefs
#endif
