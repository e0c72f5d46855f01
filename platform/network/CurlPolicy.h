#pragma once

#include <curl/curl.h>

#include <string>
#include <string_view>

#include "platform/network/ProxyManager.h"

namespace platform {

// The house's rules for every libcurl easy handle the process makes, so that each HTTP user of
// the process (the download engine, the synchronous connector) talks to servers the same way.
//
// applyCurlDefaults, once on a fresh handle: HTTP/1.1; the protocols http and https only, for
// requests and redirects; TLS peer and host verification on; TLS 1.2 or newer, to servers and to
// proxies; `caFile` (when not empty) trusted besides the system's CAs, for servers and proxies;
// no signals (handles run on worker threads); the process-wide share handle (cookies, names,
// TLS sessions); libcurl's own proxy environment ignored (callers ask ProxyManager per request).
// Returns the first option libcurl refused, or CURLE_OK.
CURLcode applyCurlDefaults(CURL* easy, const std::string& caFile);

// applyRedirectPolicy, before each request to `url`: a request that starts on https may only be
// redirected to https, never to clear-text http; one that starts on http may go to either.
CURLcode applyRedirectPolicy(CURL* easy, std::string_view url);

// True when a redirect from `from` to `to` keeps to the policy above (the scheme of `to` is http
// or https, and not http when `from` is https). For callers that follow redirects themselves.
bool redirectAllowed(std::string_view from, std::string_view to);

// True when both URLs name the same host and port (the scheme's port when none is given). A
// redirect to another host must not carry the caller's own request headers.
bool sameHost(std::string_view first, std::string_view second);

// True when `url` names the scheme http or https (any case); nothing else may be requested.
bool isHttpUrl(std::string_view url);

// The PEM text a handle trusts when `caFile` is given: libcurl's own CA bundle (the system's,
// read once per process) followed by the file's. False, `out` unchanged, when the file cannot be
// read; applyCurlDefaults then gives CURLE_SSL_CACERT_BADFILE.
bool caBundleWith(const std::string& caFile, std::string& out);

// The CA bundle the process trusts besides the system's: the developer override "WEND_CA_FILE"
// (tests set it to their own CA); empty when unset or when the build ignores overrides.
std::string curlCaFile(const EnvironmentLookup& environment = processEnvironment);

}  // namespace platform
