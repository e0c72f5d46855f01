#pragma once

#include <string>

#include "core/workflow/InstallerStatus.h"
#include "download/engine/DLETypes.h"

// Why a product could not be installed, in the error codes the installer core's product-error
// alert knows. Stateless; any thread.
namespace applets {

enum ProductErrorCode : int {
  kErrorBadDocument = kProductErrorBadDocument,
  kErrorHttp = kProductErrorHttp,
  kErrorExtraction = kProductErrorExtraction,
  kErrorNetworkUnavailable = kProductErrorNetworkUnavailable,
  kErrorDiskFull = kProductErrorDiskFull,
  kErrorProxyAuthentication = kProductErrorProxyAuthentication,
  kErrorCancelled = kProductErrorCancelled,
};

struct ProductFailure {
  int code = 0;  // a ProductErrorCode; 0 none
  bool resumable = false;
  std::string driveName;  // kErrorDiskFull: the volume that is full

  bool failed() const { return code != 0; }
  // <errorParams><driveName>..</driveName></errorParams> for a full disk, else "".
  std::string errorParamXml() const;
};

ProductFailure failure(int code);
// A full disk on the volume that holds `path`.
ProductFailure diskFullAt(const std::string& path);

// A download's last error: a full disk on the volume of `folder` (120); a connection that could not
// be made or broke off (118) and a demand for proxy credentials (124), both resumable; any other
// failure (a status the server gave, a reply that cannot be used) is an HTTP error (113), also
// resumable: the server may be mended.
ProductFailure downloadFailure(const gde::DLEErrorInfo& error, const std::string& folder);

// The mount point of the volume that holds `path` (the path itself when it cannot be examined).
std::string volumeRootOf(const std::string& path);

}  // namespace applets
