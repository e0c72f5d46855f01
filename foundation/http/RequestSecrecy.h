#pragma once

#include "foundation/http/HTTPConnectorTypes.h"

namespace http {

// Whether a request carries credentials or tokens, so that neither its URL nor the reply to it
// may be logged: user information in the URL, or (without regard to case) a header name, the
// URL or the body mentioning a token, password, secret, credential, authorization, cookie,
// session, API key or "code=" (an authorization code). Errs on the side of secrecy.
bool carriesSecrets(const HTTPConnectorRequest& request, const std::string& url);

}  // namespace http
