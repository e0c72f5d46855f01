#pragma once

#include <string>

// The addresses on the installer's web host that end or redirect a sign-in, told apart from the
// sign-in pages themselves. Pure functions; any thread. Page addresses are untrusted: nothing
// here throws, and an address that only looks like a redirect is reported malformed.
namespace mediation {

enum class RedirectKind {
  kNone,             // not on the installer's web host: a sign-in page
  kType3,            // root + "type3?redirect_uri=<address>"
  kDelegationStart,  // root + "delegation_start[?query]"
  kDelegationEnd,
  kDelegationError,
  kDeviceToken,  // root + "?device_token=<token>[&...]"
  kMalformed,    // on the web host, but none of the above or missing its value
};

struct SignInRedirect {
  RedirectKind kind = RedirectKind::kNone;
  // kType3: the page to open, percent-decoded; http(s) only, without control characters.
  std::string redirectUri;
  // kDelegation*: the query's percent-decoded "internal_url" and "external_url", each "" when
  // absent, not http(s) or holding a control character.
  std::string internalUrl;
  std::string externalUrl;
  // kDeviceToken: the text after "?device_token=" up to the first "&" or "#"; never empty.
  std::string deviceToken;
};

// `root` is the web host's base address ending in "/".
SignInRedirect classifyRedirect(const std::string& root, const std::string& url);

// True for an absolute "http://" or "https://" address (scheme in any case).
bool isWebAddress(const std::string& url);

// The address as a log line may show it: every query value is "***".
std::string maskedForLog(const std::string& url);

}  // namespace mediation
