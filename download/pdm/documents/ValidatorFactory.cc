#include "download/pdm/documents/ValidatorFactory.h"

#include "download/pdm/common/PDMLogger.h"
#include "download/pdm/documents/MD5Validator.h"
#include "foundation/xml/XMLParser.h"

namespace orvel::PackageDownloadManager {
namespace {
constexpr const char* kTag = "ValidatorFactory";
}

std::unique_ptr<ValidatorBase> ValidatorFactory::createFromXML(const std::string& path) const {
  std::string algorithm;
  {
    XMLParser parser(PDMLogger::instance().getLogger());
    if (!parser.initWithXMLPath(path) ||
        !parser.stringValueForXQuery("//validationInfo/algorithm", algorithm)) {
      return nullptr;
    }
  }
  std::unique_ptr<ValidatorBase> validator = createByType(algorithm);
  if (!validator) return nullptr;
  if (!validator->initFromXML(path)) {
    pdmLog(pando::kLogWarn, kTag, "Validator could not be initialized");
    return nullptr;
  }
  return validator;
}

std::unique_ptr<ValidatorBase> ValidatorFactory::createByType(const std::string& algorithm) const {
  if (algorithm == MD5Validator::kAlgorithm) return std::make_unique<MD5Validator>();
  pdmLog(pando::kLogWarn, kTag, "Validator type (%s) is not defined", algorithm.c_str());
  return nullptr;
}

}  // namespace orvel::PackageDownloadManager
