#pragma once

#include <memory>
#include <string>

#include "download/pdm/documents/ActionBase.h"

namespace orvel::PackageDownloadManager {

// Makes actions from "action" elements; "extract" is the only name. Stateless; any thread.
class ActionFactory {
 public:
  virtual ~ActionFactory() = default;
  // Null, logged, for unreadable text, a missing or unknown name or a failed initialisation.
  std::unique_ptr<ActionBase> createAction(const std::string& xml) const;
};

}  // namespace orvel::PackageDownloadManager
