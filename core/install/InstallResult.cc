#include "core/install/InstallResult.h"

#include "foundation/xml/XMLParser.h"

std::map<std::string, std::string> readInstallResultParams(const std::string& xml) {
  std::map<std::string, std::string> params;
  XMLParser document;
  if (xml.empty() || !document.initWithXMLString(xml)) return params;
  int count = 0;
  XMLNodeList list = document.getNodeListForXQuery("//install_result/ets_params/param", &count);
  for (int i = 0; i < count; ++i) {
    XMLNode node = document.getNodeAtIndexFromNodeList(list, i);
    const std::map<std::string, std::string> attributes = document.getAttributeMapFromNode(node);
    const auto name = attributes.find("name");
    if (name == attributes.end() || name->second.empty()) continue;
    const std::map<std::string, std::string> value = document.getMapOfNode(node);
    params.emplace(name->second, value.empty() ? "" : value.begin()->second);
  }
  return params;
}
