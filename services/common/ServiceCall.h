#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>

#include "foundation/http/HTTPConnectorTypes.h"

// One request to an online service through HTTPConnector, with the proxy credentials given, and
// the helpers that build its texts. Replies are untrusted: a body over kMaxReplyBytes is dropped
// whole. The connector never logs a request that carries a token, secret or password, nor the
// reply to it. Any thread; nothing is shared between calls.

constexpr size_t kMaxReplyBytes = size_t{1} << 20;
constexpr int32_t kServiceTimeoutSeconds = 30;

struct ServiceReply {
  int32_t result = kHTTPConnectorRequestFailed;  // the connector's result code
  int32_t status = 0;                            // the HTTP status, 0 without a reply
  std::string body;                              // "" when there was none or it was too large

  // A reply came back and its status is 2xx.
  bool succeeded() const { return result == kHTTPConnectorOK && status >= 200 && status < 300; }
};

ServiceReply callService(const HTTPConnectorRequest& request, const std::string& proxyUserName,
                         const std::string& proxyPassword);

// Every byte but letters, digits and "-_.~" as "%" and two upper-case hexadecimal digits.
std::string percentEncoded(const std::string& text);
// "a=1&b=2", each value percent-encoded, in the order given: a query or a form body.
std::string formText(std::initializer_list<std::pair<const char*, std::string>> fields);
