#pragma once

#include <string>

#include "core/install/OrvelPim.h"
#include "foundation/system/NativeLibrary.h"

class AssetDownloader;
class IInstallWorkflow;
struct TarnApplication;

// Where the installer library comes from. Both folders exist for the run.
struct PimLibraryFolders {
  std::string tempFolder;        // this run's temp folder; the work folder "LoomLBS" goes in it
  std::string sharedComponents;  // special folder 29: the installed copy is "Core/OrvelPIM.dylib"
};

// The installer library "OrvelPIM.dylib": the copy on the machine, or a newer one downloaded, put
// in a fresh work folder of mode 0700, checked for the maker's code signature and loaded from
// there (so a root process loads only a file no other user could have replaced). Unloaded when
// the object goes. The exports are looked up at each call; a missing one gives status 1.
//
// Threads: prepare on the workflow thread; the calls on the install thread, after prepare.
class PimLibrary {
 public:
  explicit PimLibrary(PimLibraryFolders folders);

  // True when the library is loaded. False with the workflow error set (1, 42, 43, 72, not
  // retryable), or after a failed download, whose error the downloader has set.
  bool prepare(IInstallWorkflow& workflow, const TarnApplication& application,
               AssetDownloader& downloader);
  bool isLoaded() const { return library_.isLoaded(); }
  const std::string& libraryPath() const { return libraryPath_; }

  int startWorkflow(PimWorkflowArgs& args);
  // The install-result document after a failure; "" when the library gives none.
  std::string installStatus();

  // The installed copy's version, 0.0.0.0 when it cannot be read.
  static std::string installedVersionText(const std::string& path);

 private:
  bool chooseLibrary(IInstallWorkflow& workflow, const TarnApplication& application,
                     AssetDownloader& downloader, const std::string& workFolder);

  const PimLibraryFolders folders_;
  std::string libraryPath_;
  NativeLibrary library_;
};
