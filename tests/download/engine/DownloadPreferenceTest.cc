#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "download/engine/DownloadPreference.h"

namespace gde {
namespace {

struct SegmentCase {
  uint32_t given;
  uint32_t expected;
};

TEST(DownloadPreferenceTest, SegmentSizeIsClampedToItsLimits) {
  const std::vector<SegmentCase> cases = {
      {0, 0x10000},       {65535, 65536},     {65536, 65536},        {2097152, 2097152},
      {4194304, 4194304}, {4194305, 4194304}, {UINT32_MAX, 4194304},
  };
  for (const auto& c : cases) {
    DownloadPreference preference;
    DLEPrefStruct caller;
    caller.segmentSize = c.given;
    EXPECT_TRUE(preference.validate(caller));
    EXPECT_EQ(preference.prefs.segmentSize, c.expected) << "given " << c.given;
  }
}

struct ThreadCase {
  uint8_t adaptive;
  uint32_t given;
  uint32_t expected;
};

TEST(DownloadPreferenceTest, ThreadCountOutsideItsRangeKeepsOrPicksTheDefault) {
  const std::vector<ThreadCase> cases = {
      {0, 0, 12}, {0, 16, 12}, {0, 15, 15}, {0, 1, 1}, {0, 7, 7},
      {1, 0, 40}, {1, 51, 40}, {1, 50, 50}, {1, 1, 1}, {1, 16, 16},
  };
  for (const auto& c : cases) {
    DownloadPreference preference;
    DLEPrefStruct caller;
    caller.useAdaptiveAlgorithm = c.adaptive;
    caller.threadCount = c.given;
    preference.validate(caller);
    EXPECT_EQ(preference.prefs.threadCount, c.expected)
        << "adaptive " << int(c.adaptive) << " given " << c.given;
  }
}

TEST(DownloadPreferenceTest, AnOutOfRangeThreadCountKeepsTheEarlierChoice) {
  DownloadPreference preference;
  DLEPrefStruct caller;
  caller.threadCount = 9;
  preference.validate(caller);
  caller.threadCount = 40;
  preference.validate(caller);
  EXPECT_EQ(preference.prefs.threadCount, 9u);
}

TEST(DownloadPreferenceTest, TextsAreReplacedOnlyByNonEmptyOnes) {
  DownloadPreference preference;
  DLEPrefStruct first;
  first.prefText1 = "CORP\\alice";
  first.prefText2 = "secret";
  preference.validate(first);
  DLEPrefStruct second;
  second.prefText2 = "changed";
  preference.validate(second);
  EXPECT_EQ(preference.prefs.prefText1, "CORP\\alice");
  EXPECT_EQ(preference.prefs.prefText2, "changed");
}

TEST(DownloadPreferenceTest, CompressionStaysOn) {
  DownloadPreference preference;
  DLEPrefStruct caller;
  caller.compression = 0;
  preference.validate(caller);
  EXPECT_EQ(preference.prefs.compression, 1);
}

TEST(DownloadPreferenceTest, HeadersMergeUnlessReplacementIsAsked) {
  DownloadPreference preference;
  DLEPrefStruct first;
  first.extraHeaders = {{"X-B", "1"}, {"X-A", "1"}};
  preference.validate(first);
  DLEPrefStruct merge;
  merge.extraHeaders = {{"X-A", "2"}, {"X-C", "3"}};
  preference.validate(merge);
  const std::vector<std::pair<std::string, std::string>> merged = {
      {"X-A", "2"}, {"X-B", "1"}, {"X-C", "3"}};
  ASSERT_EQ(preference.getHeaderObjects().size(), merged.size());
  for (size_t i = 0; i < merged.size(); ++i) {
    EXPECT_EQ(preference.getHeaderObjects()[i].name, merged[i].first);
    EXPECT_EQ(preference.getHeaderObjects()[i].value, merged[i].second);
  }

  DLEPrefStruct replace;
  replace.replaceExtraHeaders = 1;
  replace.extraHeaders = {{"X-Z", "9"}};
  preference.validate(replace);
  ASSERT_EQ(preference.getHeaderObjects().size(), 1u);
  EXPECT_EQ(preference.getHeaderObjects()[0].name, "X-Z");
}

TEST(DownloadPreferenceTest, HeadersThatCouldBreakTheRequestAreRefusedWithoutAnyChange) {
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"X-A", "v\r\nInjected: 1"},
      {"X-A", "v\n"},
      {"X-A", std::string("v\0w", 3)},
      {"X\r\nB", "v"},
      {"", "v"},
  };
  for (const auto& [name, value] : bad) {
    DownloadPreference preference;
    DLEPrefStruct caller;
    caller.segmentSize = 0x10000;
    caller.extraHeaders = {{name, value}};
    EXPECT_FALSE(preference.validate(caller));
    EXPECT_EQ(preference.prefs.segmentSize, 0x200000u);
    EXPECT_TRUE(preference.getHeaderObjects().empty());

    DLEInputStruct request;
    request.serverfullpath = "http://host/file.bin";
    request.preferences = caller;
    EXPECT_FALSE(preference.resolveTargetPath(request));
  }
}

TEST(DownloadPreferenceTest, AnApplicationNameOrRefererThatCouldBreakAHeaderIsRefused) {
  DownloadPreference preference;
  DLEInputStruct request;
  request.serverfullpath = "http://host/file.bin";
  request.appName = "Tarn\r\nX-Injected: 1";
  EXPECT_FALSE(preference.resolveTargetPath(request));
  request.appName.clear();
  request.referer = std::string("ref\0", 4);
  EXPECT_FALSE(preference.resolveTargetPath(request));
}

TEST(DownloadPreferenceTest, AddedHeaderObjectsFollowTheCallersAndAreChecked) {
  DownloadPreference preference;
  DLEPrefStruct caller;
  caller.extraHeaders = {{"X-A", "1"}};
  preference.validate(caller);
  EXPECT_TRUE(preference.addHeaderObject("Accept-Encoding", "gzip"));
  EXPECT_FALSE(preference.addHeaderObject("X-Bad", "a\r\nb"));
  ASSERT_EQ(preference.getHeaderObjects().size(), 2u);
  EXPECT_EQ(preference.getHeaderObjects()[1].name, "Accept-Encoding");
}

struct UrlCase {
  std::string url;
  bool resolves;
  std::string host;
  int32_t port;
  int32_t isHttps;
  std::string serverPath;
  std::string fileName;
};

TEST(DownloadPreferenceTest, UrlsSplitIntoHostPortPathAndName) {
  const std::vector<UrlCase> cases = {
      {"https://cdn.example.test:8443/a/b/file.bin", true, "cdn.example.test", 8443, 1,
       "a/b/file.bin", "file.bin"},
      {"http://cdn.example.test/file.bin", true, "cdn.example.test", 80, 0, "file.bin", "file.bin"},
      {"https://cdn.example.test/file.bin", true, "cdn.example.test", 443, 1, "file.bin",
       "file.bin"},
      {"HTTPS://cdn.example.test/f", true, "cdn.example.test", 443, 1, "f", "f"},
      {"ftp://cdn.example.test/f", false, "", 0, 0, "", ""},
      {"file:///etc/passwd", false, "", 0, 0, "", ""},
      {"cdn.example.test/dir/f.zip", true, "cdn.example.test", 80, 0, "dir/f.zip", "f.zip"},
      {"http://h/a/f.bin?x=1/y.bin", true, "h", 80, 0, "a/f.bin?x=1/y.bin", "f.bin"},
      {"http://h/a/f.bin#part/z", true, "h", 80, 0, "a/f.bin#part/z", "f.bin"},
      {"http://h/a/f%20b.bin", true, "h", 80, 0, "a/f%20b.bin", "f%20b.bin"},
      {"http://h/a/f b.bin", true, "h", 80, 0, "a/f%20b.bin", "f b.bin"},
      {"http://[::1]:8080/f.bin", true, "[::1]", 8080, 0, "f.bin", "f.bin"},
      {"http://[::1]/f.bin", true, "[::1]", 80, 0, "f.bin", "f.bin"},
      {"http://h:1/f", true, "h", 1, 0, "f", "f"},
      {"http://h:65535/f", true, "h", 65535, 0, "f", "f"},
      {"http://h:0/f", false, "", 0, 0, "", ""},
      {"http://h:65536/f", false, "", 0, 0, "", ""},
      {"http://h:99999999999/f", false, "", 0, 0, "", ""},
      {"http://h:/f", false, "", 0, 0, "", ""},
      {"http://h:+80/f", false, "", 0, 0, "", ""},
      {"http://h:8o/f", false, "", 0, 0, "", ""},
      {"http://h o/f", false, "", 0, 0, "", ""},
      {"http://[::1/f", false, "", 0, 0, "", ""},
      {"", false, "", 0, 0, "", ""},
  };
  for (const auto& c : cases) {
    DownloadPreference preference;
    ASSERT_EQ(preference.resolveRequest(c.url), c.resolves) << c.url;
    if (!c.resolves) continue;
    EXPECT_EQ(preference.host, c.host) << c.url;
    EXPECT_EQ(preference.port, c.port) << c.url;
    EXPECT_EQ(preference.isHttps, c.isHttps) << c.url;
    EXPECT_EQ(preference.serverPath, c.serverPath) << c.url;
    EXPECT_EQ(preference.tempFileName, c.fileName + ".quarrydownload") << c.url;
  }
}

struct NameCase {
  std::string url;
  std::string requestName;
  bool resolves;
  std::string targetFileName;
};

TEST(DownloadPreferenceTest, TheFileNameComesFromTheRequestOrAUsableUrlName) {
  const std::vector<NameCase> cases = {
      {"https://h:8443/a/b/file.bin", "", true, "file.bin"},
      {"https://h/a/file.bin", "other.bin", true, "other.bin"},
      {"https://h", "", false, ""},
      {"https://h", "named.bin", true, "named.bin"},
      {"https://h/", "", false, ""},
      {"https://h/dir/", "", false, ""},
      {"https://h/dir/?name=f.bin", "", false, ""},
      {"https://h/dir/#f.bin", "", false, ""},
      {"https://h/dir/.", "", false, ""},
      {"https://h/dir/..", "", false, ""},
      {"https://h/dir/..?x", "", false, ""},
      {"https://h/dir/..", "ok.bin", true, "ok.bin"},
      {"https://h/f.bin", "..", false, ""},
      {"https://h/f.bin", ".", false, ""},
      {"https://h/f.bin", "../escape.bin", false, ""},
  };
  for (const auto& c : cases) {
    DownloadPreference preference;
    DLEInputStruct request;
    request.serverfullpath = c.url;
    request.targetFileName = c.requestName;
    ASSERT_EQ(preference.resolveTargetPath(request), c.resolves) << c.url << " / " << c.requestName;
    if (!c.resolves) continue;
    EXPECT_EQ(preference.targetFileName, c.targetFileName) << c.url;
    EXPECT_EQ(preference.tempFileName, c.targetFileName + ".quarrydownload") << c.url;
  }
}

TEST(DownloadPreferenceTest, ResolvedRequestGivesPathsFlagsAndDefaults) {
  DownloadPreference preference;
  DLEInputStruct request;
  request.serverfullpath = "https://cdn.example.test/pkg/app.zip";
  request.targetFolder = "/tmp/dl";
  request.preferences.segmentSize = 1;  // validated on the way
  ASSERT_TRUE(preference.resolveTargetPath(request));
  EXPECT_EQ(preference.prefs.segmentSize, DownloadPreference::kMinSegmentSize);
  EXPECT_EQ(preference.targetFolderPath, "/tmp/dl/");
  EXPECT_EQ(preference.finalFilePath(), "/tmp/dl/app.zip");
  EXPECT_EQ(preference.partialFilePath(), "/tmp/dl/app.zip.quarrydownload");
  EXPECT_EQ(preference.metaFilePath(), "/tmp/dl/app.zip.quarrydownload.quarryd");
  EXPECT_EQ(preference.appName, "Skyloom");
  EXPECT_EQ(preference.referer, "Orvel.referer");

  request.targetFolder.clear();
  request.appName = "Tarn";
  request.referer = "ref";
  ASSERT_TRUE(preference.resolveTargetPath(request));
  EXPECT_EQ(preference.targetFolderPath, "");
  EXPECT_EQ(preference.appName, "Tarn");
  EXPECT_EQ(preference.referer, "ref");
}

}  // namespace
}  // namespace gde
