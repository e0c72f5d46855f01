#pragma once

#include <string>

#include "core/config/ConfigStore.h"

// The product details embedded in the installer's disk image, stored into the configuration.
// Nothing here throws, whatever the text holds. Thread rules are the store's.

// Stores the known members of the JSON object `json` (names compared without regard to case),
// the percent-decoded "contextParams" and what it carries, and the platform block's minimum system
// version and product size. An array or object where a scalar belongs reads as empty. False, the
// store untouched, when the text is not JSON or its root is neither an object nor null; false,
// with the top-level members and "contextParams" already stored, when the decoded context is not
// JSON or its root is neither an object nor null.
bool ParseEmbeddedConfigJson(ConfigStore& config, const std::string& json);

// Replaces every "%" followed by two hexadecimal digits by that byte, in one left-to-right pass;
// everything else, "+" included, stays.
std::string UrlDecode(const std::string& text);
