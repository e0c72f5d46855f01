#pragma once

#include <string>

// The installer's one code space: the installer library's results, the workflow's error numbers
// and the download manager's errors mapped onto them. Each code has its "PIM_STATUS_" name; the
// ones the code acts on are named here.
enum InstallerStatus : int {
  kStatusSuccess = 0,
  kStatusError = 1,
  kStatusSuccessNoEnd = 6,  // installed; the library reports no install end of its own
  kStatusIncompatibleOs = 21,
  kStatusCaseSensitiveVolume = 22,
  kStatusCorruptedApplicationXml = 48,
  kStatusOrvelInstallerRunning = 81,
  kStatusQuarryRunning = 82,
  kStatusDownloadInvalidFile = 205,  // also the applet host's cancel
  kStatusNetworkUnavailable = 206,
  kStatusProxyAuthenticationRequired = 212,
  kStatusCancelled = 215,
};

// "PIM_STATUS_..." for a code of the table, else the number as text.
std::string installerStatusName(int code);
