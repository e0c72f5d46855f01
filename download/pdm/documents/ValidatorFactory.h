#pragma once

#include <memory>
#include <string>

#include "download/pdm/documents/ValidatorBase.h"

namespace orvel::PackageDownloadManager {

// Makes validators from validation documents. Stateless; any thread. Null on failure, logged
// under the tag "ValidatorFactory".
class ValidatorFactory {
 public:
  virtual ~ValidatorFactory() = default;
  // A validator initialised from the document at `path`.
  std::unique_ptr<ValidatorBase> createFromXML(const std::string& path) const;
  // An uninitialised validator for the algorithm text ("TYPE1": MD5).
  std::unique_ptr<ValidatorBase> createByType(const std::string& algorithm) const;
};

}  // namespace orvel::PackageDownloadManager
