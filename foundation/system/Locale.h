#pragma once

#include <map>
#include <string>
#include <vector>

// The product locale the interface is shown in, chosen from the user's preferred languages
// through a fixed table of accepted keys. The table is built once, on first use, safely from any
// thread, and never changes; every function here may be called from any thread.

// Key (compared byte by byte) to product locale code, such as "en-gb" -> "en_GB".
const std::map<std::string, std::string>& getLocaleMap();

// Looks the key up unchanged, then cut to 7 characters, then to 5, then lower-cased, then cut to
// 2. True with the first code found in `out`; false, `out` untouched, when none matches.
bool normalizeLocale(const std::string& key, std::string& out);

// What the system reports about the user's languages.
struct LocalePreferences {
  std::vector<std::string> preferredLanguages;  // most preferred first
  std::string currentLocale;                    // the region-format locale, such as "ar_MA"
};

// The preferences of this process's environment: the ":"-separated LANGUAGE list, then the
// first set of LC_ALL, LC_MESSAGES and LANG, each without codeset and modifier ("de_DE.UTF-8"
// is "de_DE"); "C" and "POSIX" name no language. The current locale is that first set variable.
LocalePreferences systemLocalePreferences();

// The first preferred language that decides: "ar" gives "fr_MA" for the current locales ar_DZ,
// ar_TN and ar_MA and "en_AE" otherwise, "he" gives "en_IL", a key the table knows its code.
// When none decides `out` keeps its value, and an empty `out` becomes "en_US". Always true.
bool getPreferredLocale(std::string& out, const LocalePreferences& preferences);
// The same with systemLocalePreferences().
bool getPreferredLocale(std::string& out);
