#pragma once

#include <cstdint>
#include <string>

#include "core/config/ConfigStore.h"
#include "core/signature/ConfigSigningKey.h"

class XMLParser;

// The signed configuration file: "C3Config.xml" with its "C3Config.sig" in the desktop
// application's folder. Only a file that verifies against the key contributes: its properties of
// the namespace "wend.bootstrapper" then overwrite configuration entries, a later property of the
// same name winning. Log lines go to the installer's log function under "ApplicationContext".
// Runs on the thread that owns the context; thread rules of the store are its own.

// What "C3Config.sig" says.
struct C3ConfigSignature {
  uint64_t fileSize = 0;  // "/Signature/FileSize"; 0 when missing or not a number
  std::string checkSum;   // "/Signature/CheckSum", Base64; "" when missing
};
C3ConfigSignature readC3ConfigSignature(const XMLParser& document);

// Sets one entry per property element of the verified document: its "name" attribute ("" without
// one) to its string value. False, nothing set, when it has none.
bool applyC3ConfigProperties(XMLParser& document, ConfigStore& config);

// The whole step over the files in `folder` (which ends with "/"). False when either file is
// missing (silently), when the signature file is no XML, the check fails, or the verified bytes
// hold no property; each but the first is logged at kLogWarn.
bool readTarnConfig(const std::string& folder, const ConfigSigningKey& key, ConfigStore& config);
