#include "download/engine/http/CurlErrorMap.h"

#include <cerrno>

namespace gde {
namespace {

uint32_t connectFailureType(long osErrno) {
  return osErrno == ECONNREFUSED || osErrno == ECONNRESET ? ERROR_HTTP_CONNECTION_ERR
                                                          : ERROR_HTTP_SERVER_UNREACHABLE;
}

uint32_t typeFor(CURLcode result, long osErrno) {
  switch (result) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_PROXY:
      return ERROR_HTTP_SERVER_UNREACHABLE;
    case CURLE_COULDNT_CONNECT:
      return connectFailureType(osErrno);
    case CURLE_OPERATION_TIMEDOUT:
      return http_timeout_error;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
      return ERROR_HTTP_CONNECTION_ERR;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_RANGE_ERROR:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
      return ERROR_HTTP_PARSE_FAILURE;
    case CURLE_TOO_MANY_REDIRECTS:
      return ERROR_HTTP_REDIRECT_LOOP;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
      return ERROR_HTTP_NOT_FOUND;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
    case CURLE_USE_SSL_FAILED:
      return ERROR_HTTP_FATAL;
    case CURLE_AUTH_ERROR:
    case CURLE_LOGIN_DENIED:
      return ERROR_HTTP_AUTH_FAILED;
    default:
      return ERROR_HTTP_UNKNOWN;
  }
}

}  // namespace

void mapCurlError(CURLcode result, long osErrno, const std::string& detail,
                  EngineErrorRecord& out) {
  out.type = typeFor(result, osErrno);
  out.code = static_cast<int32_t>(result);
  out.retryAfter = 0;
  out.message = detail.empty() ? curl_easy_strerror(result) : detail;
  out.segmentIndex = 0;
}

}  // namespace gde
