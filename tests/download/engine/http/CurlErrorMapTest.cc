#include <gtest/gtest.h>

#include <cerrno>

#include "download/engine/http/CurlErrorMap.h"

namespace gde {
namespace {

TEST(CurlErrorMapTest, TransferFailuresMapByMeaning) {
  struct Case {
    CURLcode result;
    long osErrno;
    uint32_t type;
  };
  const Case cases[] = {
      {CURLE_COULDNT_RESOLVE_HOST, 0, ERROR_HTTP_SERVER_UNREACHABLE},
      {CURLE_COULDNT_RESOLVE_PROXY, 0, ERROR_HTTP_SERVER_UNREACHABLE},
      {CURLE_COULDNT_CONNECT, ECONNREFUSED, ERROR_HTTP_CONNECTION_ERR},
      {CURLE_COULDNT_CONNECT, ECONNRESET, ERROR_HTTP_CONNECTION_ERR},
      {CURLE_COULDNT_CONNECT, ENETUNREACH, ERROR_HTTP_SERVER_UNREACHABLE},
      {CURLE_COULDNT_CONNECT, EHOSTUNREACH, ERROR_HTTP_SERVER_UNREACHABLE},
      {CURLE_PROXY, 0, ERROR_HTTP_SERVER_UNREACHABLE},
      {CURLE_OPERATION_TIMEDOUT, 0, http_timeout_error},
      {CURLE_RECV_ERROR, ECONNRESET, ERROR_HTTP_CONNECTION_ERR},
      {CURLE_SEND_ERROR, EPIPE, ERROR_HTTP_CONNECTION_ERR},
      {CURLE_PARTIAL_FILE, 0, ERROR_HTTP_CONNECTION_ERR},
      {CURLE_GOT_NOTHING, 0, ERROR_HTTP_CONNECTION_ERR},
      {CURLE_WEIRD_SERVER_REPLY, 0, ERROR_HTTP_PARSE_FAILURE},
      {CURLE_BAD_CONTENT_ENCODING, 0, ERROR_HTTP_PARSE_FAILURE},
      {CURLE_TOO_MANY_REDIRECTS, 0, ERROR_HTTP_REDIRECT_LOOP},
      {CURLE_URL_MALFORMAT, 0, ERROR_HTTP_NOT_FOUND},
      {CURLE_UNSUPPORTED_PROTOCOL, 0, ERROR_HTTP_NOT_FOUND},
      {CURLE_SSL_CONNECT_ERROR, 0, ERROR_HTTP_FATAL},
      {CURLE_PEER_FAILED_VERIFICATION, 0, ERROR_HTTP_FATAL},
      {CURLE_SSL_CACERT_BADFILE, 0, ERROR_HTTP_FATAL},
      {CURLE_AUTH_ERROR, 0, ERROR_HTTP_AUTH_FAILED},
      {CURLE_OUT_OF_MEMORY, 0, ERROR_HTTP_UNKNOWN},
  };
  for (const Case& c : cases) {
    EngineErrorRecord record;
    record.segmentIndex = 9;
    mapCurlError(c.result, c.osErrno, "", record);
    EXPECT_EQ(record.type, c.type) << c.result << " errno " << c.osErrno;
    EXPECT_EQ(record.code, static_cast<int32_t>(c.result));
    EXPECT_EQ(record.message, curl_easy_strerror(c.result));
    EXPECT_EQ(record.segmentIndex, 0u);
  }
}

TEST(CurlErrorMapTest, LibcurlsOwnTextIsKeptAsTheMessage) {
  EngineErrorRecord record;
  mapCurlError(CURLE_COULDNT_CONNECT, ECONNREFUSED, "Failed to connect to 127.0.0.1 port 1",
               record);
  EXPECT_EQ(record.message, "Failed to connect to 127.0.0.1 port 1");
}

}  // namespace
}  // namespace gde
