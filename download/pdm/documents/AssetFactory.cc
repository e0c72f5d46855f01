#include "download/pdm/documents/AssetFactory.h"

#include "download/pdm/common/PDMLogger.h"
#include "download/pdm/documents/DMGAsset.h"
#include "download/pdm/documents/ZIPAsset.h"
#include "foundation/xml/XMLParser.h"

namespace orvel::PackageDownloadManager {
namespace {

constexpr const char* kTag = "AssetFactory";

std::unique_ptr<AssetBase> makeAsset(const std::string& type) {
  if (type == "BINARY") return std::make_unique<BinaryAsset>();
  if (type == "ZIP") return std::make_unique<ZIPAsset>();
  if (type == "DMG") return std::make_unique<DMGAsset>();
  pdmLog(pando::kLogWarn, kTag, "The type %s does not correspond to any asset type", type.c_str());
  return nullptr;
}

}  // namespace

std::unique_ptr<AssetBase> AssetFactory::createAsset(const std::string& xml,
                                                     const std::string& baseURL) const {
  std::string type;
  {
    XMLParser parser(PDMLogger::instance().getLogger());
    if (!parser.initWithXMLString(xml) ||
        !parser.stringValueForXQuery("//asset/asset_type", type)) {
      return nullptr;
    }
  }
  std::unique_ptr<AssetBase> asset = makeAsset(type);
  if (!asset) return nullptr;
  asset->setBaseURL(baseURL);
  if (!asset->initFromXML(xml)) {
    pdmLog(pando::kLogWarn, kTag, "The asset initialization failed");
    return nullptr;
  }
  return asset;
}

}  // namespace orvel::PackageDownloadManager
