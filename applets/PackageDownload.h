#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "applets/ProductFailure.h"
#include "applets/WorkflowControl.h"
#include "download/engine/DownloadLibrary.h"

// One file fetched on its own engine file-downloader handle, on the caller's thread: the handle is
// polled for progress and closed (which stops the download) as soon as the run is cancelled or
// stopped. The run's proxy credentials go with every request and never into a log line.
namespace applets {

struct DownloadRequest {
  std::string url;
  std::string folder;  // must exist
  std::string fileName;
  std::map<std::string, std::string> headers;
  bool singleStream = false;  // one plain GET, for small documents
};

// The share of `size` that `bytesDone` makes, never past 1: the engine counts a segment it fetches
// again once more, and a server may send more than it announced (the size check then fails the
// download). 0 when the size is unknown.
double downloadFraction(uint64_t bytesDone, uint64_t size);

class PackageDownload {
 public:
  // The library reference and the control must outlive the object.
  PackageDownload(gde::DLELibRef* library, const gde::DownloadSettings& settings,
                  std::chrono::milliseconds pollInterval, WorkflowControl& control);

  // No failure once the file is complete at folder/fileName; kErrorCancelled when the run was
  // interrupted; else the download's failure (downloadFailure). `progress` receives the fraction
  // done, from 0 to 1, when the size is known.
  ProductFailure fetch(const DownloadRequest& request,
                       const std::function<void(double fraction)>& progress) const;

 private:
  gde::DLELibRef* library_;
  gde::DownloadSettings settings_;
  std::chrono::milliseconds pollInterval_;
  WorkflowControl& control_;
};

}  // namespace applets
