#pragma once

#include <string>

#include "core/config/ConfigStore.h"

// "productInfo.xml", which tells the desktop application the product and locale the installer ran
// for: <product_info> with SAPCode (upper case), actionList (only when asked for) and locale, from
// the configuration's getters (which insert missing keys). The file replaces `path` as a whole,
// a link there included, and gets mode 0644 and, when written by root, the console user as owner
// (else the writing process's user) before it takes the name. The folder must exist. False after a
// log line under "ConfigXml" when nothing was written. Any thread; thread rules are the store's.
bool WriteProductInfoXml(ConfigStore& config, const std::string& path, bool includeActionList);
