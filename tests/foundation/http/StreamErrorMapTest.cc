#include <gtest/gtest.h>
#include <openssl/x509_vfy.h>

#include "foundation/http/StreamErrorMap.h"

namespace http {
namespace {

TEST(StreamErrorMapTest, EachFailureHasItsResult) {
  struct Case {
    CURLcode code;
    long verifyResult;
    HTTPConnectorResponse result;
  } cases[] = {
      {CURLE_OPERATION_TIMEDOUT, 0, kHTTPConnectorTimedOut},
      {CURLE_FAILED_INIT, 0, kHTTPConnectorRequestFailed},
      {CURLE_COULDNT_CONNECT, 0, kHTTPConnectorPosixError},
      {CURLE_RECV_ERROR, 0, kHTTPConnectorPosixError},
      {CURLE_COULDNT_RESOLVE_HOST, 0, kHTTPConnectorNetDBError},
      {CURLE_COULDNT_RESOLVE_PROXY, 0, kHTTPConnectorNetDBError},
      {CURLE_INTERFACE_FAILED, 0, kHTTPConnectorNetServicesError},
      {CURLE_GOT_NOTHING, 0, kHTTPConnectorHTTPProtocolError},
      {CURLE_PARTIAL_FILE, 0, kHTTPConnectorHTTPProtocolError},
      {CURLE_PROXY, 0, kHTTPConnectorSystemConfigError},
      {CURLE_SSL_CONNECT_ERROR, 0, kHTTPConnectorOtherStreamError},
      {CURLE_UNSUPPORTED_PROTOCOL, 0, kHTTPConnectorOtherStreamError},
      {CURLE_WRITE_ERROR, 0, kHTTPConnectorOtherStreamError},
      {CURLE_PEER_FAILED_VERIFICATION, X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT,
       kHTTPConnectorSSLUnknownRoot},
      {CURLE_PEER_FAILED_VERIFICATION, X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN,
       kHTTPConnectorSSLUnknownRoot},
      {CURLE_PEER_FAILED_VERIFICATION, X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY,
       kHTTPConnectorSSLNoRoot},
      {CURLE_PEER_FAILED_VERIFICATION, X509_V_ERR_CERT_HAS_EXPIRED, kHTTPConnectorSSLCertExpired},
      {CURLE_PEER_FAILED_VERIFICATION, X509_V_ERR_HOSTNAME_MISMATCH,
       kHTTPConnectorOtherStreamError},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(streamErrorResult(c.code, c.verifyResult), c.result)
        << curl_easy_strerror(c.code) << " / " << c.verifyResult;
  }
}

}  // namespace
}  // namespace http
