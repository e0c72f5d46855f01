#include "core/install/ApplicationsDocument.h"

#include <charconv>
#include <memory>
#include <vector>

#include "core/context/ContextParts.h"
#include "foundation/logging/ComponentLog.h"
#include "foundation/xml/XMLParser.h"

namespace {

constexpr pando::ComponentLog kLog{"TarnApplication"};

// The matches of `query`, each loaded as a document of its own so that paths start at it.
bool readEach(XMLParser& parser, const std::string& query, const char* textFailure,
              std::vector<std::unique_ptr<XMLParser>>& out) {
  int count = 0;
  XMLNodeList list = parser.getNodeListForXQuery(query, &count);
  for (int i = 0; i < count; ++i) {
    std::string xml;
    if (!parser.getNodeXMLStringOfNode(parser.getNodeAtIndexFromNodeList(list, i), xml)) {
      kLog(pando::kLogError, "%s", textFailure);
      return false;
    }
    auto element = std::make_unique<XMLParser>();
    if (!element->initWithXMLString(xml)) {
      kLog(pando::kLogError, "Invalid/corrupt application xml");
      return false;
    }
    out.push_back(std::move(element));
  }
  return true;
}

std::string firstValue(const XMLParser& document, const std::string& query) {
  std::string value;
  document.stringValueForXQuery(query, value);
  return value;
}

// Adds every package size of one application to `total`.
bool countPackages(XMLParser& application, uint64_t& total) {
  std::vector<std::unique_ptr<XMLParser>> sets;
  if (!readEach(application, "/application/packageSets/packageSet",
                "Error in getting XML string of packageSet", sets)) {
    return false;
  }
  for (const auto& set : sets) {
    std::vector<std::unique_ptr<XMLParser>> packages;
    if (!readEach(*set, "/packageSet/packages/package", "Error in getting XML string of package",
                  packages)) {
      return false;
    }
    for (const auto& package : packages) {
      std::string text;
      if (!package->stringValueForXQuery("/package/assetSize", text)) {
        kLog(pando::kLogError, "package size tag not found in application xml");
        return false;
      }
      // A size that is no number, or a sum past 64 bits, would give the view a wrong weight.
      const std::optional<uint64_t> size = parseAssetSize(text);
      if (!size || *size > UINT64_MAX - total) {
        kLog(pando::kLogError, "Invalid package size in application xml: %s", text.c_str());
        return false;
      }
      total += *size;
    }
  }
  return true;
}

// The desktop application's own document, with the content-delivery block and the manifest URL
// added, as the installer library gets it.
bool readDesktopApp(XMLParser& application, const std::string& cdnXml,
                    const ApplicationsDocumentInputs& inputs, TarnApplication& out) {
  XMLNode root = nullptr;
  if (!application.getRootNode(root) || !root) return false;
  // Each application gets its own copy of the block: moving the one node would leave a second
  // "Skyloom" application pointing into a freed document.
  XMLParser cdn;
  XMLNode cdnRoot = nullptr;
  if (!cdnXml.empty() && cdn.initWithXMLString(cdnXml) && cdn.getRootNode(cdnRoot) && cdnRoot) {
    application.addChildToNode(cdnRoot, root);
  }
  application.addChildToNode("manifestUrl", inputs.manifestUrl, root);
  if (!application.getXMLString(out.desktopAppXml)) return false;
  out.desktopAppVersion = firstValue(application, "/application/version");
  return true;
}

}  // namespace

std::optional<uint64_t> parseAssetSize(const std::string& text) {
  int base = 10;
  size_t start = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    start = 2;
  }
  if (start >= text.size()) return std::nullopt;
  uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [next, error] = std::from_chars(text.data() + start, end, value, base);
  if (error != std::errc() || next != end) return std::nullopt;
  return value;
}

bool parseApplicationsXml(const std::string& path, const ApplicationsDocumentInputs& inputs,
                          TarnApplication& out) {
  kLog(pando::kLogTrace, "Parsing applications xml recieved from server");
  XMLParser document;
  if (!document.initWithXMLPath(path)) {
    kLog(pando::kLogError, "Invalid/corrupt application info xml recieved from server");
    return false;
  }
  return parseApplicationsDocument(document, inputs, out);
}

bool parseApplicationsDocument(XMLParser& parser, const ApplicationsDocumentInputs& inputs,
                               TarnApplication& out) {
  std::string cdnXml;
  if (XMLNode cdn = parser.getNodeForXQuery("/applications/cdn")) {
    parser.getNodeXMLStringOfNode(cdn, cdnXml);
  }
  const std::string secureBase = firstValue(parser, "/applications/cdn/secure");

  std::vector<std::unique_ptr<XMLParser>> applications;
  int count = 0;
  parser.getNodeListForXQuery("/applications/application", &count);
  if (count != 2) {
    kLog(pando::kLogError, "Invalid number of application nodes in application info xml: %d",
         count);
    return false;
  }
  if (!readEach(parser, "/applications/application",
                "Error in getting XML string of application node", applications)) {
    return false;
  }

  out.totalAssetSize = 0;
  for (const auto& application : applications) {
    if (!countPackages(*application, out.totalAssetSize)) return false;
    std::string name;
    if (!application->stringValueForXQuery("/application/name", name)) {
      kLog(pando::kLogError, "Application name tag not found in application xml");
      return false;
    }
    if (name == "LoomLBS") {
      const std::string package = "/application/packageSets/packageSet/packages/package";
      out.installerLibraryVersion = firstValue(*application, package + "/version");
      std::string url = firstValue(*application, package + "/manifestUrl");
      if (!url.empty() && url.front() == '/') url = secureBase + url;
      out.installerLibraryManifestUrl = url;
    } else if (name == "Skyloom") {
      if (!readDesktopApp(*application, cdnXml, inputs, out)) return false;
    }
  }

  const std::string countryCode = firstValue(parser, "/applications/metaData/countryCode");
  if (!countryCode.empty()) {
    if (inputs.analytics) inputs.analytics->setCountryCode(countryCode);
    kLog(pando::kLogTrace, "countryCode: %s found in applicationXML", countryCode.c_str());
  } else {
    kLog(pando::kLogError, "No countryCode found in applicationXML");
  }

  if (out.installerLibraryVersion.empty() || out.installerLibraryManifestUrl.empty() ||
      out.desktopAppXml.empty()) {
    kLog(pando::kLogError, "LoomLBS or Skyloom application info not present");
    return false;
  }
  kLog(pando::kLogTrace, "Parsing of applications xml recieved from server successful");
  return true;
}
