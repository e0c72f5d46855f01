#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "download/engine/DLEFileDownloader.h"
#include "download/engine/DLETypes.h"

namespace gde {

// Downloads one URL into a string, blocking the caller: the file goes to a fresh UUID-named file
// in the temporary-files folder, is read back and deleted. Shares one process-wide library
// reference, made on first use. Results: 0; -4 without createDownloader; -999 the download ended
// in error, was paused by a reported error or could not be read back (getLastError tells more);
// otherwise the failing engine call's code. One thread uses a helper at a time.
class GDEHelper {
 public:
  explicit GDEHelper(DownloadSettings settings = DownloadSettings::fromEnvironment(),
                     std::chrono::milliseconds pollInterval = std::chrono::milliseconds(10));
  ~GDEHelper();
  GDEHelper(const GDEHelper&) = delete;
  GDEHelper& operator=(const GDEHelper&) = delete;

  int32_t createDownloader(const DLEInputStruct& request);
  int32_t downloadToString(std::string& out);
  void getLastError(int32_t& type, int32_t& code) const;

 private:
  int32_t runDownload();
  void releaseHandle();

  const DownloadSettings settings_;
  const std::chrono::milliseconds pollInterval_;
  DLEInputStruct request_;
  DLEFileDownloader* handle_ = nullptr;
  bool initialized_ = false;
  bool useTempFile_ = true;
  DLEErrorInfo lastError_;
};

}  // namespace gde
