#include "download/pdm/documents/ActionBase.h"

#include "download/pdm/common/PDMLogger.h"
#include "download/pdm/documents/DocumentText.h"
#include "foundation/xml/XMLParser.h"

namespace orvel::PackageDownloadManager {
namespace {
constexpr const char* kTag = "Action";
}

bool ActionBase::initFromXML(const std::string& xml) {
  XMLParser parser(PDMLogger::instance().getLogger());
  if (!parser.initWithXMLString(xml)) {
    pdmLog(pando::kLogWarn, kTag, "Could not initialize the action xml");
    return false;
  }
  std::string number;
  if (!parser.stringValueForXQuery("//action/sequence_no", number)) {
    pdmLog(pando::kLogWarn, kTag, "Sequence number could not be determined for action");
    return false;
  }
  sequenceNumber_ = leadingNumber32(number);
  if (sequenceNumber_ == 0) {
    pdmLog(pando::kLogWarn, kTag, "Invalid sequence number specified for action");
    return false;
  }
  int count = 0;
  XMLNodeList nodes = parser.getNodeListForXQuery("//action/action_data/data", &count);
  for (int i = 0; i < count; ++i) {
    const auto pair = parser.getMapFromNode(parser.getNodeAtIndexFromNodeList(nodes, i));
    const auto key = pair.find("key");
    if (key == pair.end()) continue;
    const auto value = pair.find("value");
    data_[key->second] = value == pair.end() ? std::string() : value->second;
  }
  return true;
}

}  // namespace orvel::PackageDownloadManager
