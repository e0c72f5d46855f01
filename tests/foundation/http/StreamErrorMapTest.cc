#include <gtest/gtest.h>
#include <openssl/x509_vfy.h>

#include "foundation/http/StreamErrorMap.h"

namespace http {
namespace {

// The failures the loopback tests cannot bring about; the others have scenarios of their own.
TEST(StreamErrorMapTest, FailuresOutOfReachOfTheScenarios) {
  struct Case {
    CURLcode code;
    long verifyResult;
    HTTPConnectorResponse result;
  };
  constexpr CURLcode kVerify = CURLE_PEER_FAILED_VERIFICATION;
  const Case cases[] = {
      {CURLE_INTERFACE_FAILED, 0, kHTTPConnectorNetServicesError},
      {CURLE_COULDNT_RESOLVE_PROXY, 0, kHTTPConnectorNetDBError},
      {CURLE_PROXY, 0, kHTTPConnectorSystemConfigError},
      {kVerify, X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT, kHTTPConnectorSSLUnknownRoot},
      {kVerify, X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN, kHTTPConnectorSSLUnknownRoot},
      {kVerify, X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY, kHTTPConnectorSSLNoRoot},
      {kVerify, X509_V_ERR_HOSTNAME_MISMATCH, kHTTPConnectorOtherStreamError},
  };
  for (const Case& c : cases)
    EXPECT_EQ(streamErrorResult(c.code, c.verifyResult), c.result) << curl_easy_strerror(c.code);
}

}  // namespace
}  // namespace http
