#include "download/pdm/documents/ActionFactory.h"

#include "download/pdm/common/PDMLogger.h"
#include "download/pdm/documents/ExtractAction.h"
#include "foundation/xml/XMLParser.h"

namespace orvel::PackageDownloadManager {

std::unique_ptr<ActionBase> ActionFactory::createAction(const std::string& xml) const {
  std::string name;
  {
    XMLParser parser(PDMLogger::instance().getLogger());
    if (!parser.initWithXMLString(xml) || !parser.stringValueForXQuery("//action/name", name)) {
      return nullptr;
    }
  }
  if (name != "extract") {
    pdmLog(pando::kLogError, "", "The action name %s does not correspond to any action type",
           name.c_str());
    return nullptr;
  }
  std::unique_ptr<ActionBase> action = std::make_unique<ExtractAction>();
  if (!action->initFromXML(xml)) {
    pdmLog(pando::kLogWarn, "", "The action initialization failed");
    return nullptr;
  }
  return action;
}

}  // namespace orvel::PackageDownloadManager
