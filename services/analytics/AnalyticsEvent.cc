#include "services/analytics/AnalyticsEvent.h"

#include "foundation/xml/XMLParser.h"

namespace {
constexpr char kEventName[] = "CORVEL_SERVICE";
}  // namespace

std::string eventBatchXml(const std::vector<AnalyticsEvent>& events) {
  XMLParser document;
  XMLNode root = nullptr;
  if (!document.initWithXMLString("<events/>") || !document.getRootNode(root)) return "";
  for (const AnalyticsEvent& event : events) {
    XMLNode eventNode = nullptr;
    if (!document.addChildToNode("event", "", root, eventNode)) continue;
    document.addAttributeToNode(eventNode, "name", kEventName);
    for (const auto& [name, value] : event.params) {
      XMLNode param = nullptr;
      if (document.createNodeWithNameAndValue("param", value, param) &&
          document.addAttributeToNode(param, "name", name)) {
        document.addChildToNode(param, eventNode);
      }
    }
  }
  std::string xml;
  document.getXMLString(xml);
  return xml;
}
