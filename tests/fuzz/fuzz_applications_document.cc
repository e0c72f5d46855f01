// Reads arbitrary bytes as the package service's applications document. Nothing may crash, and an
// accepted document names an installer library and a desktop application.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/install/ApplicationsDocument.h"
#include "foundation/xml/XMLParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  XMLParser document;
  if (!document.initWithXMLString(text)) return 0;
  TarnApplication application;
  if (!parseApplicationsDocument(document, {"https://example.test/manifest", nullptr}, application)) {
    return 0;
  }
  if (application.installerLibraryVersion.empty() || application.desktopAppXml.empty() ||
      application.installerLibraryManifestUrl.empty()) {
    std::abort();
  }
  return 0;
}
