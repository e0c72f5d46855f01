#include "core/config/ProductInfoXml.h"

#include <unistd.h>

#include "core/config/ConfigValues.h"
#include "foundation/logging/LogCallback.h"
#include "foundation/xml/XMLParser.h"
#include "platform/files/AtomicFile.h"
#include "platform/system/ConsoleUser.h"

namespace {

constexpr char kComponent[] = "ConfigXml";
// Readable by the desktop application, writable only by its user.
constexpr mode_t kFileMode = 0644;

// Only root can give a file away; anyone else writes it as their own.
platform::AtomicFileOwnership consoleUserOwnership() {
  platform::ConsoleUser user;
  if (geteuid() != 0 || !platform::findConsoleUser(user)) {
    return {kFileMode, geteuid(), getegid()};
  }
  return {kFileMode, user.uid, user.gid};
}

}  // namespace

bool WriteProductInfoXml(ConfigStore& config, const std::string& path, bool includeActionList) {
  XMLParser parser;
  if (!parser.initWithXMLString("<product_info></product_info>")) {
    LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                "Could not make root node with initWithString");
    return false;
  }
  XMLNode root = nullptr;
  if (!parser.getRootNode(root) || root == nullptr) {
    LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                "Not able to retrieve rootnode of uriInfoXml");
    return false;
  }
  parser.addChildToNode("SAPCode", GetSapCode(config), root);
  if (includeActionList) parser.addChildToNode("actionList", GetActionList(config), root);
  parser.addChildToNode("locale", GetLocale(config), root);
  std::string xml;
  if (!parser.getXMLString(xml) ||
      !platform::replaceFileAtomically(path, xml, consoleUserOwnership())) {
    LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                "Could not write xml at path=\"%s\"", path.c_str());
    return false;
  }
  return true;
}
