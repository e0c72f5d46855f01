#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/workflow/WorkflowSteps.h"

class IAnalytics;
class XMLParser;

// The package service's applications document ("applications.xml"): the installer-library package
// "LoomLBS" and the desktop application "Skyloom", read once into a TarnApplication. Logs through
// the process's log function under "TarnApplication". Stateless; any thread.

// What the reader needs from the rest of the process. `analytics` may be null.
struct ApplicationsDocumentInputs {
  std::string manifestUrl;  // the configuration's manifestUrl, added to the desktop-application XML
  IAnalytics* analytics = nullptr;  // receives the country code
};

// Reads the document at `path` into `out`. False on any failure; the fields already stored stay,
// except the total asset size, which is reset before the packages are counted.
bool parseApplicationsXml(const std::string& path, const ApplicationsDocumentInputs& inputs,
                          TarnApplication& out);
// The same for a loaded document, which the reader queries (its node lists grow).
bool parseApplicationsDocument(XMLParser& document, const ApplicationsDocumentInputs& inputs,
                               TarnApplication& out);

// A package's assetSize: decimal, or hexadecimal after "0x" or "0X", with nothing else around it
// and within 64 bits; none otherwise.
std::optional<uint64_t> parseAssetSize(const std::string& text);
