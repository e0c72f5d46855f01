#pragma once

#include "prefs/OpmStatus.h"

// The preferences library's C interface: text values kept per console user under (domain,
// subdomain, key), encrypted with a key tied to this machine, in one SQLite database that both of
// wend's processes share. Every function returns an OpmStatus code.
//
// What protects a value is the database file's mode 0600: the machine-tied key only obscures, as
// anyone who can read the file can also read the machine id it comes from.
//
// A reference is used by one thread at a time and never across fork; separate references, in one
// process or many, may work on the database at once. Strings handed out are freed with
// opm_freeString. Nothing throws.
#ifdef __cplusplus
extern "C" {
#endif

typedef struct OpmLibrary* OPMLibRef;

// Opens (creating when missing) the console user's database and its log "Fallow.log".
// OPM_CRYPTO, nothing stored, when the machine has no id; OPM_DATABASE when the file is refused.
// `*ref` is set only on success.
int opm_createLibRef(OPMLibRef* ref);
// `value` at most 1 MiB; it replaces any earlier one.
int opm_setValue(OPMLibRef ref, const char* domain, const char* subdomain, const char* key,
                 const char* value);
// On success `*value` is a new string for opm_freeString; otherwise it is left as it was.
int opm_getValue(OPMLibRef ref, const char* domain, const char* subdomain, const char* key,
                 char** value);
// OPM_NOT_FOUND when there was no such value.
int opm_removeValue(OPMLibRef ref, const char* domain, const char* subdomain, const char* key);
// Accepts null.
void opm_freeString(char* text);
// Closes the database; the reference is gone even when the result is not OPM_OK.
int opm_freeLibRef(OPMLibRef ref);

#ifdef __cplusplus
}
#endif
