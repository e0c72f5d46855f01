#include "mediation/ui/SignInRedirects.h"

#include <map>
#include <string_view>

#include "foundation/text/StringUtils.h"

namespace mediation {
namespace {

constexpr std::string_view kType3 = "type3?redirect_uri=";
constexpr std::string_view kDeviceToken = "?device_token=";

struct Delegation {
  std::string_view name;
  RedirectKind kind;
};
constexpr Delegation kDelegations[] = {
    {"delegation_start", RedirectKind::kDelegationStart},
    {"delegation_end", RedirectKind::kDelegationEnd},
    {"delegation_error", RedirectKind::kDelegationError},
};

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    const char c = text[i] >= 'A' && text[i] <= 'Z' ? char(text[i] - 'A' + 'a') : text[i];
    if (c != prefix[i]) return false;
  }
  return true;
}

// A C0 or C1 control character or DEL in UTF-8 text: a NUL would end the address a page loads
// before what was checked ends, a line break could pass one address for two.
bool hasControlCharacter(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (byte < 0x20 || byte == 0x7F || (byte == 0xC2 && next >= 0x80 && next <= 0x9F)) {
      return true;
    }
  }
  return false;
}

// The percent-decoded text when it is a web address without control characters, else "".
std::string decodedWebAddress(std::string text) {
  if (!StringUtils::utilDecodeURLString(text) || !isWebAddress(text) || hasControlCharacter(text)) {
    return "";
  }
  return text;
}

SignInRedirect malformed() {
  SignInRedirect redirect;
  redirect.kind = RedirectKind::kMalformed;
  return redirect;
}

}  // namespace

bool isWebAddress(const std::string& url) {
  for (std::string_view scheme : {"http://", "https://"}) {
    if (startsWithNoCase(url, scheme) && url.size() > scheme.size()) return true;
  }
  return false;
}

SignInRedirect classifyRedirect(const std::string& root, const std::string& url) {
  if (root.empty() || !startsWith(url, root)) return {};
  const std::string_view rest = std::string_view(url).substr(root.size());

  if (startsWith(rest, kType3)) {
    SignInRedirect redirect;
    redirect.redirectUri = decodedWebAddress(std::string(rest.substr(kType3.size())));
    if (redirect.redirectUri.empty()) return malformed();
    redirect.kind = RedirectKind::kType3;
    return redirect;
  }
  if (startsWith(rest, kDeviceToken)) {
    SignInRedirect redirect;
    const std::string_view value = rest.substr(kDeviceToken.size());
    // A fragment is the page's own, never part of the token.
    redirect.deviceToken = std::string(value.substr(0, value.find_first_of("&#")));
    if (redirect.deviceToken.empty()) return malformed();
    redirect.kind = RedirectKind::kDeviceToken;
    return redirect;
  }
  for (const Delegation& delegation : kDelegations) {
    if (!startsWith(rest, delegation.name)) continue;
    const std::string_view after = rest.substr(delegation.name.size());
    if (!after.empty() && after.front() != '?') return malformed();
    SignInRedirect redirect;
    redirect.kind = delegation.kind;
    std::map<std::string, std::string> query;
    StringUtils::utilParseURLQuery(url, query);
    redirect.internalUrl = decodedWebAddress(query["internal_url"]);
    redirect.externalUrl = decodedWebAddress(query["external_url"]);
    return redirect;
  }
  return malformed();
}

std::string maskedForLog(const std::string& url) {
  const size_t query = url.find('?');
  if (query == std::string::npos) return url;
  std::string masked = url.substr(0, query + 1);
  size_t start = query + 1;
  while (start <= url.size()) {
    size_t end = url.find('&', start);
    if (end == std::string::npos) end = url.size();
    const std::string_view pair = std::string_view(url).substr(start, end - start);
    const size_t equals = pair.find('=');
    masked += equals == std::string_view::npos ? std::string(pair)
                                               : std::string(pair.substr(0, equals)) + "=***";
    if (end == url.size()) break;
    masked += '&';
    start = end + 1;
  }
  return masked;
}

}  // namespace mediation
