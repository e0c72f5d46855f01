#include "download/pdm/SignatureCheck.h"

#include "download/pdm/PDMLogger.h"

namespace orvel::PackageDownloadManager {
namespace {

class ToolSignatureCheck final : public SignatureCheck {
 public:
  bool isSignedByMaker(const std::string& /*path*/) const override {
    pdmLog(pando::kLogError, "validateAssetSignature",
           "The code-signing check is not available in this build");
    return false;
  }
};

}  // namespace

const SignatureCheck& SignatureCheck::system() {
  static const ToolSignatureCheck check;
  return check;
}

}  // namespace orvel::PackageDownloadManager
