#include "download/engine/DownloadPreference.h"

#include <strings.h>

#include "download/engine/common/EngineLog.h"
#include "download/engine/files/EngineFileSystem.h"
#include "download/engine/http/HttpText.h"

namespace gde {
namespace {

constexpr const char* kComponent = "DownloadPreference";
constexpr const char* kTempSuffix = ".quarrydownload";

bool headersAreSafe(const std::map<std::string, std::string>& headers) {
  for (const auto& [name, value] : headers) {
    if (!isSafeHeaderName(name) || !isSafeHeaderValue(value)) return false;
  }
  return true;
}

uint32_t clampSegmentSize(uint32_t size) {
  if (size < DownloadPreference::kMinSegmentSize) {
    engineLog(pando::kLogTrace, kComponent,
              "preference segment size (%d) is less than the minimum value and hence setting the "
              "minimum value (%d) now",
              static_cast<int>(size), static_cast<int>(DownloadPreference::kMinSegmentSize));
    return DownloadPreference::kMinSegmentSize;
  }
  if (size > DownloadPreference::kMaxSegmentSize) {
    engineLog(pando::kLogTrace, kComponent,
              "preference segment size (%d) is more than the maximum value and hence setting the "
              "maximum value (%d) now",
              static_cast<int>(size), static_cast<int>(DownloadPreference::kMaxSegmentSize));
    return DownloadPreference::kMaxSegmentSize;
  }
  return size;
}

void replaceWhenGiven(std::string& mine, const std::string& theirs) {
  if (!theirs.empty()) mine = theirs;
}

// A name that cannot stand for a file of its own in the target folder.
bool isUsableFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// The port text must be a plain decimal number in 1..65535.
bool parsePort(const std::string& text, int32_t& port) {
  uint64_t value = 0;
  if (text.empty() || text.size() > 5 || !parseDecimalU64(text.data(), text.size(), value) ||
      value == 0 || value > 65535) {
    return false;
  }
  port = static_cast<int32_t>(value);
  return true;
}

// Splits "host[:port]"; an IPv6 literal keeps its brackets and its colons.
bool splitHostAndPort(const std::string& authority, std::string& host, std::string& portText,
                      bool& hasPort) {
  const size_t searchFrom = authority.starts_with("[") ? authority.find(']') : 0;
  if (searchFrom == std::string::npos) return false;
  const size_t colon = authority.rfind(':');
  hasPort = colon != std::string::npos && colon > searchFrom;
  host = hasPort ? authority.substr(0, colon) : authority;
  portText = hasPort ? authority.substr(colon + 1) : std::string();
  return true;
}

// The last path element, ignoring any query or fragment.
std::string fileNameOf(const std::string& serverPath) {
  const std::string path = serverPath.substr(0, serverPath.find_first_of("?#"));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

DownloadPreference::DownloadPreference() {
  prefs.threadCount = kDefaultThreadCount;
}

bool DownloadPreference::validate(const DLEPrefStruct& caller) {
  if (!headersAreSafe(caller.extraHeaders)) {
    engineLog(pando::kLogError, kComponent,
              "preference extra headers hold CR, LF or NUL or an empty name: refused");
    return false;
  }
  prefs.segmentSize = clampSegmentSize(caller.segmentSize);
  prefs.useAdaptiveAlgorithm = caller.useAdaptiveAlgorithm;
  if (caller.useAdaptiveAlgorithm) {
    engineLog(pando::kLogInfo, kComponent, "Using New Adaptive Algorithm");
    const bool inRange = caller.threadCount >= 1 && caller.threadCount <= kMaxAdaptiveThreadCount;
    prefs.threadCount = inRange ? caller.threadCount : kDefaultAdaptiveThreadCount;
  } else if (caller.threadCount >= 1 && caller.threadCount <= kMaxThreadCount) {
    prefs.threadCount = caller.threadCount;
  }
  replaceWhenGiven(prefs.prefText1, caller.prefText1);
  replaceWhenGiven(prefs.prefText2, caller.prefText2);
  replaceWhenGiven(prefs.prefText3, caller.prefText3);
  replaceWhenGiven(prefs.prefText4, caller.prefText4);
  prefs.downloadStartAddress = caller.downloadStartAddress;
  prefs.bytesToDownload = caller.bytesToDownload;
  prefs.singleStream = caller.singleStream;
  prefs.noRetrialOnHttpErrors = caller.noRetrialOnHttpErrors;
  prefs.maxRetryAfter = caller.maxRetryAfter;
  if (caller.replaceExtraHeaders) {
    if (&caller != &prefs) prefs.extraHeaders = caller.extraHeaders;
  } else {
    for (const auto& [name, value] : caller.extraHeaders) prefs.extraHeaders[name] = value;
  }
  rebuildHeaderObjects();
  return true;
}

bool DownloadPreference::resolveTargetPath(const DLEInputStruct& request) {
  if (!validate(request.preferences)) return false;
  if (!resolveRequest(request.serverfullpath)) return false;
  // Both travel as request headers (User-Agent, Referer).
  if (!isSafeHeaderValue(request.appName) || !isSafeHeaderValue(request.referer)) {
    engineLog(pando::kLogError, kComponent,
              "application name or referer holds CR, LF or NUL: refused");
    return false;
  }
  const bool requestNamed = !request.targetFileName.empty();
  if (requestNamed ? !isUsableFileName(request.targetFileName) : !isUsableFileName(urlFileName)) {
    engineLog(pando::kLogError, kComponent,
              "target file name is not specified and no file name is detected in the url passed "
              "to GDE - %s",
              loggableUrl(request.serverfullpath).c_str());
    return false;
  }
  serverFullPath = request.serverfullpath;
  targetFolderPath = request.targetFolder.empty() ? std::string() : request.targetFolder + "/";
  targetFileName = requestNamed ? request.targetFileName : urlFileName;
  tempFileName = targetFileName + kTempSuffix;
  keepResumeFile = request.keepResumeFile;
  adaptiveThreadRamp = request.adaptiveThreadRamp;
  reservedFlag = request.reservedFlag;
  appName = request.appName.empty() ? "Skyloom" : request.appName;
  referer = request.referer.empty() ? "Orvel.referer" : request.referer;
  return true;
}

bool DownloadPreference::resolveRequest(const std::string& url) {
  if (url.empty()) {
    engineLog(pando::kLogError, kComponent,
              "ERROR: serverfullpath is empty in input structure of DLE");
    return false;
  }
  const size_t schemeEnd = url.find("://");
  const std::string scheme =
      schemeEnd == std::string::npos ? std::string() : url.substr(0, schemeEnd);
  const std::string rest = schemeEnd == std::string::npos ? url : url.substr(schemeEnd + 3);
  const size_t slash = rest.find('/');
  const std::string authority = rest.substr(0, slash);
  const std::string rawPath = slash == std::string::npos ? std::string() : rest.substr(slash + 1);

  std::string hostText;
  std::string portText;
  bool hasPort = false;
  // Scheme names are case-insensitive: "HTTPS://" must not fall back to plain HTTP.
  const bool https = strcasecmp(scheme.c_str(), "https") == 0;
  if (!scheme.empty() && !https && strcasecmp(scheme.c_str(), "http") != 0) {
    engineLog(pando::kLogError, kComponent,
              "the url passed to GDE names the scheme %s: only http and https are served",
              scheme.c_str());
    return false;
  }
  int32_t portValue = https ? 443 : 80;
  if (!splitHostAndPort(authority, hostText, portText, hasPort) || hasIllegalUrlBytes(hostText) ||
      (hasPort && !parsePort(portText, portValue))) {
    engineLog(pando::kLogError, kComponent,
              "the host or port of the url passed to GDE is invalid - %s",
              loggableUrl(url).c_str());
    return false;
  }
  host = hostText;
  port = portValue;
  isHttps = https ? 1 : 0;
  serverPath = escapeIllegalUrlBytes(rawPath);
  urlFileName = fileNameOf(rawPath);
  tempFileName = urlFileName + kTempSuffix;
  return true;
}

void DownloadPreference::rebuildHeaderObjects() {
  headerObjects.clear();
  for (const auto& [name, value] : prefs.extraHeaders) headerObjects.push_back({name, value});
}

bool DownloadPreference::addHeaderObject(const std::string& name, const std::string& value) {
  if (!isSafeHeaderName(name) || !isSafeHeaderValue(value)) return false;
  headerObjects.push_back({name, value});
  return true;
}

}  // namespace gde
