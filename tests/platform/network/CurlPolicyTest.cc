#include <gtest/gtest.h>

#include "platform/network/CurlPolicy.h"
#include "tests/support/TemporaryFolder.h"

namespace platform {
namespace {

TEST(CurlPolicyTest, RedirectsNeverLeaveHttps) {
  struct Case {
    const char* from;
    const char* to;
    bool allowed;
  };
  for (const Case& c :
       {Case{"http://a/x", "http://b/y", true}, Case{"http://a/x", "https://b/y", true},
        Case{"https://a/x", "HTTPS://b/y", true}, Case{"https://a/x", "http://a/x", false},
        Case{"HTTPS://a/x", "HTTP://a/x", false}, Case{"http://a/x", "ftp://a/x", false},
        Case{"http://a/x", "file:///etc/passwd", false}}) {
    EXPECT_EQ(redirectAllowed(c.from, c.to), c.allowed) << c.from << " -> " << c.to;
  }
  EXPECT_TRUE(sameHost("http://A.test/x", "http://a.test:80/y"));
  EXPECT_FALSE(sameHost("http://a.test/x", "http://a.test:81/x"));
  EXPECT_FALSE(sameHost("http://a.test/x", "http://b.test/x"));
  EXPECT_FALSE(sameHost("http://127.0.0.1:8/x", "http://localhost:8/x"));
  EXPECT_FALSE(isHttpUrl("ftp://127.0.0.1:8/a.bin"));
  EXPECT_FALSE(isHttpUrl("httpx://a/"));
  EXPECT_TRUE(isHttpUrl("Https://a/"));
}

TEST(CurlPolicyTest, DefaultsApplyToAFreshHandle) {
  CURL* easy = curl_easy_init();
  ASSERT_NE(easy, nullptr);
  EXPECT_EQ(applyCurlDefaults(easy, ""), CURLE_OK);
  EXPECT_EQ(applyCurlDefaults(easy, "/nonexistent/ca.pem"), CURLE_SSL_CACERT_BADFILE);
  EXPECT_EQ(applyRedirectPolicy(easy, "https://a/"), CURLE_OK);
  curl_easy_cleanup(easy);
  EXPECT_EQ(curlCaFile([](const char*) { return std::optional<std::string>("/ca.pem"); }),
            "/ca.pem");
}

// The override's CA is trusted on top of the system's, never instead of them.
TEST(CurlPolicyTest, AnAddedCaKeepsTheSystemBundle) {
  wendtest::TemporaryFolder folder;
  const std::string ours = "-----BEGIN CERTIFICATE-----\nours\n-----END CERTIFICATE-----\n";
  wendtest::writeFile(folder / "ca.pem", ours);
  std::string system;
  CURL* probe = curl_easy_init();
  const char* path = nullptr;
  if (curl_easy_getinfo(probe, CURLINFO_CAINFO, &path) == CURLE_OK && path != nullptr) {
    system = wendtest::readFile(path);
  }
  curl_easy_cleanup(probe);
  if (system.empty()) GTEST_SKIP() << "libcurl has no system CA bundle here";

  std::string bundle;
  ASSERT_TRUE(caBundleWith(folder / "ca.pem", bundle));
  EXPECT_EQ(bundle.substr(0, system.size()), system);
  EXPECT_EQ(bundle.substr(bundle.size() - ours.size()), ours);
}

}  // namespace
}  // namespace platform
