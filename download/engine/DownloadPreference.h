#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "download/engine/DLETypes.h"

namespace gde {

// One request header as the HTTP layer sends it.
struct HttpHeader {
  std::string name;
  std::string value;
};

// The engine's settings for one download: the caller's preferences, clamped, and the request
// resolved into host, port, paths and file names. Owned by the download's shared state, which
// serialises every change; the HTTP layer and the jobs only read it once the download runs.
//
// What the HTTP layer may rely on: every header object, appName and referer are free of CR, LF
// and NUL (requests that hold one are refused here, and the owner reports kDleErrorMisuse, -10);
// serverPath has only its illegal bytes escaped, so a URL is built from it as it stands and never
// un-escaped.
struct DownloadPreference {
  static constexpr uint32_t kMinSegmentSize = 0x10000;   // 64 KiB
  static constexpr uint32_t kMaxSegmentSize = 0x400000;  // 4 MiB
  static constexpr uint32_t kDefaultThreadCount = 12;
  static constexpr uint32_t kMaxThreadCount = 15;
  static constexpr uint32_t kMaxAdaptiveThreadCount = 50;
  static constexpr uint32_t kDefaultAdaptiveThreadCount = 40;
  static constexpr uint32_t kDefaultMaxRetryAfter = 60;  // seconds

  DownloadPreference();

  // Takes the caller's preferences: out-of-range values are clamped or ignored, never refused.
  // Only a header whose name or value could break the request line (see HttpText.h) is refused:
  // then nothing changes and the result is false, which the caller reports as kDleErrorMisuse.
  bool validate(const DLEPrefStruct& caller);
  // validate, then resolveRequest and the paths and defaults. False, logged, when the preferences
  // are refused, the URL cannot be resolved, appName or referer could break a header line, or no
  // usable file name is found (an empty, "." or ".." name, or a request name holding "/").
  bool resolveTargetPath(const DLEInputStruct& request);
  // Splits the URL into scheme, host, port and path. False for an empty URL, a host holding bytes
  // illegal in a URL, or a port that is not a decimal number in 1..65535.
  bool resolveRequest(const std::string& url);

  // headerObjects = one header per entry of prefs.extraHeaders, in key order.
  void rebuildHeaderObjects();
  const std::vector<HttpHeader>& getHeaderObjects() const { return headerObjects; }
  // Adds one header after the caller's (e.g. "Accept-Encoding: gzip" on a single stream).
  bool addHeaderObject(const std::string& name, const std::string& value);

  // targetFolderPath + targetFileName, + tempFileName, and the resume meta file beside the latter.
  std::string finalFilePath() const { return targetFolderPath + targetFileName; }
  std::string partialFilePath() const { return targetFolderPath + tempFileName; }
  std::string metaFilePath() const { return partialFilePath() + ".quarryd"; }

  DLEPrefStruct prefs;           // as validated; compression stays 1
  std::string targetFolderPath;  // the request's folder plus "/" when it is not empty
  std::string tempFileName;      // targetFileName + ".quarrydownload"
  std::string targetFileName;    // the request's name, or the URL's
  std::string serverFullPath;    // the URL as given
  std::string host;              // without the port; IPv6 literals keep their brackets
  std::string serverPath;        // after the host, without the leading "/"; illegal bytes escaped
  std::string appName = "Skyloom";
  std::string referer = "Orvel.referer";
  int32_t port = 80;  // 443 for "https", else 80, or the URL's own port
  int32_t isHttps = 0;
  uint8_t keepResumeFile = 1;
  uint8_t adaptiveThreadRamp = 1;
  uint8_t reservedFlag = 0;
  uint8_t singleStreamInEffect = 0;  // the client asked for one stream or the server needs one
  uint8_t freshStart = 1;            // 0 when resuming from the resume meta file
  uint8_t noRetrialInEffect = 0;
  uint32_t maxRetryAfterInEffect = kDefaultMaxRetryAfter;
  std::vector<HttpHeader> headerObjects;

 private:
  std::string urlFileName;  // the file name found in the URL by resolveRequest
};

}  // namespace gde
