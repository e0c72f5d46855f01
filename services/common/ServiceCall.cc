#include "services/common/ServiceCall.h"

#include <cstdio>

#include "foundation/http/HTTPConnector.h"

namespace {

bool unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.' || c == '~';
}

}  // namespace

ServiceReply callService(const HTTPConnectorRequest& request, const std::string& proxyUserName,
                         const std::string& proxyPassword) {
  HTTPConnector connector;
  if (!proxyUserName.empty()) connector.setProxyCredentials(proxyUserName, proxyPassword);
  std::map<std::string, std::string> headers;
  ServiceReply reply;
  reply.result = connector.SendHTTPRequest(request, headers, reply.body);
  reply.status = connector.getHTTPStatusCode();
  if (reply.body.size() > kMaxReplyBytes) reply.body.clear();
  return reply;
}

std::string percentEncoded(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (unreserved(c)) {
      out += static_cast<char>(c);
      continue;
    }
    char escape[4];
    snprintf(escape, sizeof escape, "%%%02X", c);
    out += escape;
  }
  return out;
}

std::string formText(std::initializer_list<std::pair<const char*, std::string>> fields) {
  std::string out;
  for (const auto& [name, value] : fields) {
    if (!out.empty()) out += '&';
    out += name;
    out += '=';
    out += percentEncoded(value);
  }
  return out;
}
