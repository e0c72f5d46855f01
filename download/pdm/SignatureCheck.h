#pragma once

#include <string>

namespace orvel::PackageDownloadManager {

// Whether a downloaded file carries the maker's code signature. The production check reads the
// file's signing authorities through the code-signing tool; tests may pass their own.
class SignatureCheck {
 public:
  virtual ~SignatureCheck() = default;
  virtual bool isSignedByMaker(const std::string& path) const = 0;

  // The check through the system's code-signing tool. Lives for the process.
  static const SignatureCheck& system();
};

}  // namespace orvel::PackageDownloadManager
