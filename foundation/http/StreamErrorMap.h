#pragma once

#include <curl/curl.h>

#include "foundation/http/HTTPConnectorTypes.h"

namespace http {

// The connector's result for a transfer that failed with `code`. `verifyResult` is the TLS
// library's certificate verification result (an X509_V_ERR value, 0 when verification did not
// fail); it tells the certificate errors apart. Never kHTTPConnectorOK.
HTTPConnectorResponse streamErrorResult(CURLcode code, long verifyResult);

}  // namespace http
