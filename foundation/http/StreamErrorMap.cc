#include "foundation/http/StreamErrorMap.h"

#include <openssl/x509_vfy.h>

namespace http {
namespace {

HTTPConnectorResponse certificateResult(long verifyResult) {
  switch (verifyResult) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
      return kHTTPConnectorSSLUnknownRoot;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
      return kHTTPConnectorSSLNoRoot;
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return kHTTPConnectorSSLCertExpired;
    default:
      return kHTTPConnectorOtherStreamError;
  }
}

}  // namespace

HTTPConnectorResponse streamErrorResult(CURLcode code, long verifyResult) {
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
      return kHTTPConnectorTimedOut;
    case CURLE_FAILED_INIT:
    case CURLE_OUT_OF_MEMORY:
      return kHTTPConnectorRequestFailed;
    case CURLE_COULDNT_CONNECT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
      return kHTTPConnectorPosixError;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return kHTTPConnectorNetDBError;
    case CURLE_INTERFACE_FAILED:
      return kHTTPConnectorNetServicesError;
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_BAD_CONTENT_ENCODING:
      return kHTTPConnectorHTTPProtocolError;
    case CURLE_PROXY:
      return kHTTPConnectorSystemConfigError;
    case CURLE_PEER_FAILED_VERIFICATION:
      return certificateResult(verifyResult);
    default:
      return kHTTPConnectorOtherStreamError;
  }
}

}  // namespace http
