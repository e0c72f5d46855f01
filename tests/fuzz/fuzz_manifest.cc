// Reads arbitrary bytes as a manifest the way the manager does (every asset element through the
// asset factory, with its actions) and as a lone asset element, then runs what a parsed asset
// offers without touching the network or the disk.
#include <cstddef>
#include <cstdint>
#include <string>

#include "download/pdm/documents/AssetFactory.h"
#include "foundation/xml/XMLParser.h"

namespace pdm = orvel::PackageDownloadManager;

namespace {

void exercise(pdm::AssetBase& asset) {
  asset.getAssetURL();
  asset.getValidationDataURL();
  asset.getSequenceNumber();
  asset.getAssetSize();
  // Only a binary asset runs its actions here: extracting would write to the disk.
  if (asset.getAssetTypeCode() == pdm::kAssetBinary) {
    uint32_t type = 0;
    uint32_t result = 0;
    asset.runActions(type, result);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const pdm::AssetFactory factory;
  if (auto asset = factory.createAsset(text, "http://127.0.0.1/")) exercise(*asset);

  XMLParser parser;
  if (!parser.initWithXMLString(text)) return 0;
  std::string version;
  parser.stringValueForXQuery("//manifest/version", version);
  int count = 0;
  XMLNodeList nodes = parser.getNodeListForXQuery("//manifest/asset_list/asset", &count);
  for (int i = 0; i < count; ++i) {
    std::string xml;
    parser.getNodeXMLStringOfNode(parser.getNodeAtIndexFromNodeList(nodes, i), xml);
    if (auto asset = factory.createAsset(xml, "")) exercise(*asset);
  }
  return 0;
}
