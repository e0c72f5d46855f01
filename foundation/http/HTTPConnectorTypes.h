#pragma once

#include <cstdint>
#include <map>
#include <string>

// The request record and the result codes of HTTPConnector.

// Results of HTTPConnector::SendHTTPRequest. Besides these, a reply status of 400..599 other than
// 407 is returned as itself.
enum HTTPConnectorResponse : int32_t {
  kHTTPConnectorOK = 0,                  // a reply with a status outside 400..599
  kHTTPConnectorTimedOut = 2,            // no whole reply within the time-out (or one <= 0)
  kHTTPConnectorInvalidArguments = 4,    // serverURL or method empty
  kHTTPConnectorRequestFailed = 5,       // the request or its credentials could not be made
  kHTTPConnectorPosixError = 65,         // connecting, sending or receiving failed
  kHTTPConnectorNetDBError = 66,         // a host or proxy name did not resolve
  kHTTPConnectorNetServicesError = 67,   // no local interface to connect from
  kHTTPConnectorHTTPProtocolError = 68,  // no reply head, a malformed or cut-off reply
  kHTTPConnectorSystemConfigError = 69,  // the proxy refused to serve the request
  kHTTPConnectorOtherStreamError = 70,   // any other failure, other TLS errors included
  kHTTPConnectorSSLUnknownRoot = 97,     // the chain ends in a root nobody trusts
  kHTTPConnectorSSLNoRoot = 98,          // the chain leads to no root certificate
  kHTTPConnectorSSLCertExpired = 99,     // a certificate has expired (or is not yet valid)
  kHTTPConnectorProxyAuthRequired = 190,
  kHTTPConnectorProxyCredentialsFailed = 191,
};

struct HTTPConnectorRequest {
  std::string serverURL;  // scheme and host, or the whole URL; must not be empty
  std::string path;       // appended after the port; may be empty
  std::string method;     // "GET", "POST", ...; compared exactly; must not be empty
  std::map<std::string, std::string> headers;  // sent in key order, after the defaults
  std::string body;                            // sent only for "PUT" and "POST"
  int32_t timeoutSeconds = 0;                  // per attempt; 0 or less times out at once
  int32_t port = 0;                            // 0: none, else ":<port>" before path
  bool acceptCompressed = false;               // adds "Accept-Encoding: compress, gzip"
};
