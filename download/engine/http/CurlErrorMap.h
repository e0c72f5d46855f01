#pragma once

#include <curl/curl.h>

#include <string>

#include "download/engine/errors/EngineErrorRecord.h"

namespace gde {

// How a failed libcurl transfer becomes an engine error, by what went wrong:
//
//   what failed                                        libcurl codes                    type
//   name resolution (host or proxy)                    COULDNT_RESOLVE_HOST/_PROXY      7
//   connect refused or reset                           COULDNT_CONNECT + ECONNREFUSED,  8
//                                                        ECONNRESET
//   connect failed otherwise (unreachable, ...)        COULDNT_CONNECT                  7
//   proxy refused the tunnel or its handshake          PROXY                            7
//   time-out (connect or whole request)                OPERATION_TIMEDOUT               9
//   broken or short transfer                           RECV_ERROR, SEND_ERROR,          8
//                                                        PARTIAL_FILE, GOT_NOTHING
//   unreadable reply                                   WEIRD_SERVER_REPLY,              14
//                                                        BAD_CONTENT_ENCODING, RANGE_ERROR,
//                                                        HTTP2, HTTP2_STREAM
//   redirection loop                                   TOO_MANY_REDIRECTS               15
//   unusable URL                                       URL_MALFORMAT,                   6
//                                                        UNSUPPORTED_PROTOCOL
//   TLS: handshake, certificate, host name             SSL_*, PEER_FAILED_VERIFICATION, 5
//                                                        USE_SSL_FAILED
//   credentials refused                                AUTH_ERROR, LOGIN_DENIED         10
//   anything else                                      -                                17
//
// TLS failures are fatal rather than retried: a certificate that does not verify will not verify
// on the next attempt, and retrying would only hide an attacker on the path.
//
// The record gets the type, the libcurl code as `code` and `detail` (libcurl's error text) as the
// message, or libcurl's text for the code when `detail` is empty.
void mapCurlError(CURLcode result, long osErrno, const std::string& detail, EngineErrorRecord& out);

}  // namespace gde
