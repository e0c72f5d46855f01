#include "applets/ProductFailure.h"

#include <sys/stat.h>

#include "foundation/files/FileUtils.h"
#include "foundation/xml/XMLParser.h"

namespace applets {

std::string ProductFailure::errorParamXml() const {
  if (code != kErrorDiskFull) return "";
  XMLParser parser;
  XMLNode root = nullptr;
  std::string xml;
  if (!parser.initWithXMLString("<errorParams/>") || !parser.getRootNode(root) ||
      !parser.addChildToNode("driveName", driveName, root) || !parser.getXMLString(xml)) {
    return "<errorParams/>";
  }
  return xml;
}

ProductFailure failure(int code) {
  ProductFailure out;
  out.code = code;
  out.resumable = code == kErrorHttp || code == kErrorExtraction ||
                  code == kErrorNetworkUnavailable || code == kErrorDiskFull ||
                  code == kErrorProxyAuthentication;
  return out;
}

ProductFailure diskFullAt(const std::string& path) {
  ProductFailure out = failure(kErrorDiskFull);
  out.driveName = volumeRootOf(path);
  return out;
}

ProductFailure downloadFailure(const gde::DLEErrorInfo& error, const std::string& folder) {
  switch (error.errorType) {
    case gde::kDleErrorDiskFull:
      return diskFullAt(folder);
    case gde::kDleErrorConnection:
    case gde::kDleErrorServerUnreachable:
      return failure(kErrorNetworkUnavailable);
    case gde::kDleErrorProxyAuthRequired:
      return failure(kErrorProxyAuthentication);
    default:
      return failure(kErrorHttp);
  }
}

std::string volumeRootOf(const std::string& path) {
  struct stat info;
  if (path.empty() || path[0] != '/' || stat(path.c_str(), &info) != 0) return path;
  std::string root = path;
  std::string parent = path;
  while (FileUtils::getParentDirectory(parent) && parent != root) {
    struct stat above;
    if (stat(parent.c_str(), &above) != 0 || above.st_dev != info.st_dev) break;
    root = parent;
  }
  return root;
}

}  // namespace applets
