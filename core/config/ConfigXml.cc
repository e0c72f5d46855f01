#include "core/config/ConfigXml.h"

#include <map>

#include "foundation/logging/LogCallback.h"
#include "foundation/xml/XMLCharacters.h"
#include "foundation/xml/XMLParser.h"

namespace {

constexpr char kComponent[] = "ConfigXml";

}  // namespace

bool ConfigXmlToMap(ConfigStore& config, const std::string& xml) {
  XMLParser parser;
  XMLNode root = nullptr;
  if (!parser.initWithXMLString(xml) || !parser.getRootNode(root) || root == nullptr) {
    config.replaceAll({});
    return false;
  }
  config.replaceAll(parser.getMapFromNode(root));
  return true;
}

std::string ConfigMapToXml(const ConfigStore& config) {
  XMLParser parser;
  XMLNode root = nullptr;
  std::string xml;
  if (!parser.initWithXMLString("<config/>") || !parser.getRootNode(root)) return xml;
  for (const auto& [key, value] : config.snapshot()) {
    if (!XMLCharacters::isValidName(key) || !XMLCharacters::isValidText(value)) {
      LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                  "Configuration key \"%s\" cannot be written as XML; left out.", key.c_str());
      continue;
    }
    parser.addChildToNode(key, value, root);
  }
  parser.getXMLString(xml);
  return xml;
}
