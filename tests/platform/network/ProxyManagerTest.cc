#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/network/ProxyManager.h"

namespace platform {
namespace {

EnvironmentLookup environmentOf(std::map<std::string, std::string> variables) {
  return [variables](const char* name) -> std::optional<std::string> {
    const auto found = variables.find(name);
    if (found == variables.end()) return std::nullopt;
    return found->second;
  };
}

// A CGI environment turns a request's "Proxy:" header into HTTP_PROXY: that one never counts.
TEST(ProxyManagerTest, EachSchemeUsesItsOwnVariableButNeverUpperCaseHttpProxy) {
  const ProxyManager proxies(
      environmentOf({{"http_proxy", "http://plain:3128"}, {"HTTPS_PROXY", "http://secure:3128"}}));
  EXPECT_EQ(proxies.proxyFor("http://example.com/a"), "http://plain:3128");
  EXPECT_EQ(proxies.proxyFor("HTTPS://example.com/a"), "http://secure:3128");
  const ProxyManager attacked(environmentOf({{"HTTP_PROXY", "http://attacker:80"}}));
  EXPECT_EQ(attacked.proxyFor("http://example.com/a"), "");
}

TEST(ProxyManagerTest, NoProxyNamesHostsAndDomains) {
  const ProxyManager proxies(environmentOf(
      {{"http_proxy", "http://p:1"}, {"no_proxy", "internal.test, .corp.example,10.0.0.1"}}));
  const std::pair<const char*, bool> cases[] = {
      {"http://internal.test/x", true},          {"http://a.internal.test/x", true},
      {"http://notinternal.test/x", false},      {"http://corp.example:8080/x", true},
      {"http://deep.host.corp.example/x", true}, {"http://10.0.0.1/x", true},
      {"http://user@INTERNAL.TEST/x", true},     {"http://example.com/internal.test", false},
  };
  for (const auto& [url, direct] : cases) {
    EXPECT_EQ(proxies.proxyFor(url).empty(), direct) << url;
  }
  const ProxyManager everything(environmentOf({{"http_proxy", "http://p:1"}, {"NO_PROXY", "*"}}));
  EXPECT_EQ(everything.proxyFor("http://anything/x"), "");
}

TEST(ProxyManagerTest, ChangesAreSeenAfterProxyHasChanged) {
  std::string current = "http://old:1";
  ProxyManager proxies([&current](const char* name) -> std::optional<std::string> {
    if (std::string(name) == "http_proxy") return current;
    return std::nullopt;
  });
  current = "http://new:2";
  EXPECT_EQ(proxies.proxyFor("http://h/x"), "http://old:1");
  proxies.proxyHasChanged();
  EXPECT_EQ(proxies.proxyFor("http://h/x"), "http://new:2");
}

}  // namespace
}  // namespace platform
