#pragma once

#include <string>

#include "core/config/ConfigStore.h"

// The configuration as flat XML: a root element whose element children are the keys and whose
// texts are the values. Thread rules are the store's; log lines go to the installer's log
// function under "ConfigXml".

// Replaces the whole store with the root's element children (other children are ignored, the
// first of a repeated name wins). False, and an empty store, for text that does not parse or has
// no root element.
bool ConfigXmlToMap(ConfigStore& config, const std::string& xml);

// "<config/>" with one child per entry in key order, pretty printed. Entries whose key is not an
// XML name ("" included) or whose value XML cannot carry are left out with a log line, so that
// ConfigXmlToMap reads back every entry that was written.
std::string ConfigMapToXml(const ConfigStore& config);
