#pragma once

#include <string>
#include <utility>

#include "core/context/ContextParts.h"

// Resources as files "<folder>/<name>.<type>": the running bundle's Contents/Resources, or a
// test's folder. Stateless after construction; any thread.
class FolderBundleResources final : public IBundleResources {
 public:
  explicit FolderBundleResources(std::string folder) : folder_(std::move(folder)) {}
  // The Contents/Resources folder of the running program's bundle ("" when it cannot be found).
  static std::string programResourcesFolder();

  bool readResource(const std::string& name, const std::string& type,
                    std::string& text) const override;
  bool hasResource(const std::string& name, const std::string& type) const override;

 private:
  // "" when the name makes no path.
  std::string pathOf(const std::string& name, const std::string& type) const;

  std::string folder_;
};
