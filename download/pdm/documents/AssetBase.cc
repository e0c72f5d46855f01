#include "download/pdm/documents/AssetBase.h"

#include "download/pdm/common/PDMLogger.h"
#include "download/pdm/documents/DocumentText.h"
#include "foundation/xml/XMLParser.h"

namespace orvel::PackageDownloadManager {
namespace {

constexpr const char* kTag = "Asset";

// The relative form's text behind the base URL, else the absolute form; false when neither is
// there.
bool readLocation(const XMLParser& parser, const std::string& baseURL, const char* relativeQuery,
                  const char* absoluteQuery, std::string& out) {
  std::string text;
  if (parser.stringValueForXQuery(relativeQuery, text)) {
    out = baseURL + text;
    return true;
  }
  if (!parser.stringValueForXQuery(absoluteQuery, text)) return false;
  out = text;
  return true;
}

}  // namespace

bool AssetBase::readURLs(const XMLParser& parser) {
  if (!readLocation(parser, baseURL_, "//asset/validation_data_rel_url", "//asset/validation_data",
                    validationDataURL_)) {
    pdmLog(pando::kLogWarn, kTag,
           "Neither relative nor absolute Validation data not found for asset.");
    return false;
  }
  if (!readLocation(parser, baseURL_, "//asset/asset_rel_path", "//asset/asset_path", assetURL_)) {
    pdmLog(pando::kLogWarn, kTag, "Neither relative nor absolute Asset path not found for asset.");
    return false;
  }
  return true;
}

bool AssetBase::initFromXML(const std::string& xml) {
  XMLParser parser(PDMLogger::instance().getLogger());
  if (!parser.initWithXMLString(xml)) {
    pdmLog(pando::kLogWarn, kTag, "Could not initialize the asset xml.");
    return false;
  }
  if (!readURLs(parser)) return false;
  std::string text;
  if (!parser.stringValueForXQuery("//asset/sequence_no", text)) {
    pdmLog(pando::kLogWarn, kTag, "Sequence number is not found or is invalid");
    return false;
  }
  sequenceNumber_ = leadingNumber32(text);
  if (sequenceNumber_ == 0) {
    pdmLog(pando::kLogWarn, kTag, "Sequence number (%s) is invalid", text.c_str());
    return false;
  }
  if (!parser.stringValueForXQuery("//asset/asset_size", text)) {
    pdmLog(pando::kLogWarn, kTag, "Asset size not specified for asset");
    return false;
  }
  assetSize_ = leadingNumber(text);
  if (assetSize_ == 0) {
    pdmLog(pando::kLogWarn, kTag, "Specified asset size (%s) is invalid", text.c_str());
    return false;
  }
  int count = 0;
  XMLNodeList nodes = parser.getNodeListForXQuery("//asset/actions/action", &count);
  for (int i = 0; i < count; ++i) {
    std::string actionXML;
    parser.getNodeXMLStringOfNode(parser.getNodeAtIndexFromNodeList(nodes, i), actionXML);
    std::unique_ptr<ActionBase> action = actionFactory_.createAction(actionXML);
    if (!action) {
      pdmLog(pando::kLogWarn, kTag, "Actions specified for asset are invalid");
      return false;
    }
    const uint32_t number = action->getSequenceNumber();
    actions_[number] = std::move(action);
  }
  return true;
}

void AssetBase::setPath(const std::string& localPath, const std::string& destination) {
  localPath_ = localPath;
  destination_ = destination;
}

uint32_t AssetBase::runActions(uint32_t& type, uint32_t& result) {
  if (!running_) {
    cursor_ = actions_.begin();
    running_ = true;
  }
  for (; cursor_ != actions_.end(); ++cursor_) {
    ActionBase& action = *cursor_->second;
    const uint32_t outcome = action.execute(this);
    type = action.getActionTypeCode();
    if (outcome == kActionInProgress) return kActionInProgress;
    result = action.getResult();
    if (outcome == kActionFailed) {
      running_ = false;
      return kActionFailed;
    }
  }
  return kActionDone;
}

}  // namespace orvel::PackageDownloadManager
