#include "core/install/VisitorId.h"

#include <map>

#include "core/config/ConfigValues.h"
#include "foundation/http/HTTPConnector.h"
#include "foundation/text/StringUtils.h"

std::string visitorIdUrl(const std::string& host, const std::string& userGuid,
                         const std::string& quarryUuid) {
  std::string guid = userGuid;
  std::string quarry = quarryUuid;
  if (!StringUtils::utilEncodeURLString(guid) || !StringUtils::utilEncodeURLString(quarry)) {
    return "";
  }
  return "https://" + host + "/ibs:dpid=813&dpuuid=" + guid + "&d_uuid=" + quarry;
}

void syncVisitorId(ConfigStore& config, const std::string& userGuid,
                   const std::string& proxyUserName, const std::string& proxyPassword,
                   const VisitorIdSettings& settings) {
  const std::string quarryUuid = GetQuarryUuid(config);
  if (quarryUuid.empty()) return;
  const std::string host = GetConfigValue(config, "visitorIdHost");
  if (host.empty()) return;
  HTTPConnectorRequest request;
  request.serverURL = visitorIdUrl(host, userGuid, quarryUuid);
  if (request.serverURL.empty()) return;
  request.method = "GET";
  request.timeoutSeconds = settings.timeoutSeconds;
  HTTPConnector connector;
  connector.setProxyCredentials(proxyUserName, proxyPassword);
  std::map<std::string, std::string> headers;
  std::string body;
  connector.SendHTTPRequest(request, headers, body);
}
