#include "core/install/desktop/PimLibrary.h"

#include <sys/stat.h>

#include <vector>

#include "core/install/desktop/AssetDownloader.h"
#include "core/workflow/InstallerStatus.h"
#include "core/workflow/WorkflowSteps.h"
#include "foundation/files/FileUtils.h"
#include "foundation/logging/ComponentLog.h"
#include "foundation/system/CodeSigning.h"
#include "foundation/text/StringUtils.h"

namespace {

constexpr pando::ComponentLog kLog{"PimLibrary"};
constexpr char kLibraryName[] = "OrvelPIM.dylib";

std::string joined(std::string path, const std::string& component) {
  FileUtils::appendPathComponent(path, component);
  return path;
}

// A work folder no other user can have prepared: whatever was there goes, the new one is ours
// alone.
bool makeWorkFolder(const std::string& path) {
  FileUtils::deleteDirectory(path, true);
  if (::mkdir(path.c_str(), 0700) != 0) return false;
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid();
}

}  // namespace

PimLibrary::PimLibrary(PimLibraryFolders folders) : folders_(std::move(folders)) {}

bool PimLibrary::prepare(IInstallWorkflow& workflow, const TarnApplication& application,
                         AssetDownloader& downloader) {
  const std::string workFolder = joined(folders_.tempFolder, "LoomLBS");
  if (!makeWorkFolder(workFolder)) {
    kLog(pando::kLogError, "Failed to create the work folder %s", workFolder.c_str());
    workflow.setError(kStatusError, false);
    return false;
  }
  if (!chooseLibrary(workflow, application, downloader, workFolder)) return false;

  std::string chain;
  if (getCANameChain(libraryPath_, chain)) {
    kLog(pando::kLogError, "could not get the CANameChain of the library %s", libraryPath_.c_str());
    workflow.setError(kStatusFileCorrupted, false);
    return false;
  }
  if (!isOrvelCANameChain(chain)) {
    kLog(pando::kLogError,
         "PIM Validation Failed:Process certificate didnt match to Orvel certificate! "
         "CANameChain: %s",
         chain.c_str());
    workflow.setError(kStatusPimValidationFailure, false);
    return false;
  }
  kLog(pando::kLogInfo, "PIM validation successful");
  if (!library_.load(libraryPath_)) {
    workflow.setError(kStatusError, false);
    return false;
  }
  return true;
}

bool PimLibrary::chooseLibrary(IInstallWorkflow& workflow, const TarnApplication& application,
                               AssetDownloader& downloader, const std::string& workFolder) {
  const std::string installed = joined(joined(folders_.sharedComponents, "Core"), kLibraryName);
  StringUtils::VersionNumbers required{0, 0, 0, 0};
  StringUtils::utilParseVersionString(application.installerLibraryVersion, required);
  StringUtils::VersionNumbers present{0, 0, 0, 0};
  StringUtils::utilParseVersionString(installedVersionText(installed), present);

  if (StringUtils::utilCompareVersions(present, required) < 0) {
    if (!downloader.downloadPimPackage(application.installerLibraryManifestUrl, workFolder)) {
      kLog(pando::kLogError, "Failed in download PIM ");
      return false;
    }
    std::vector<std::string> found;
    FileUtils::getFilesWithExtension(workFolder, "pimx", found, true);
    std::string folder = workFolder;
    if (found.size() == 1) {
      folder = found.front();
      FileUtils::getParentDirectory(folder);
    }
    libraryPath_ = joined(folder, kLibraryName);
    return true;
  }
  libraryPath_ = joined(workFolder, kLibraryName);
  if (!FileUtils::copyFile(installed, libraryPath_, false)) {
    kLog(pando::kLogInfo, "failed to copy pim library from machine to %s", libraryPath_.c_str());
    workflow.setError(kStatusFileCopyError, false);
    return false;
  }
  kLog(pando::kLogInfo, "PIM dll is latest on machine");
  return true;
}

std::string PimLibrary::installedVersionText(const std::string& path) {
  StringUtils::VersionNumbers version{0, 0, 0, 0};
  if (!FileUtils::GetDynamicLibraryVersion(path, version)) {
    kLog(pando::kLogInfo, "Failed to get the PIM version from location: %s", path.c_str());
    return "0.0.0.0";
  }
  return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
         std::to_string(version[2]) + "." + std::to_string(version[3]);
}

int PimLibrary::startWorkflow(PimWorkflowArgs& args) {
  auto start = reinterpret_cast<PimStartWorkflowFn>(library_.getSymbol("pim_startWorkflow"));
  if (!start) {
    kLog(pando::kLogError, "The installer library has no pim_startWorkflow");
    return 1;
  }
  uint32_t out[2] = {0, 0};
  return start(&args, out);
}

std::string PimLibrary::installStatus() {
  auto get = reinterpret_cast<PimGetInstallStatusFn>(library_.getSymbol("pim_getInstallStatus"));
  auto release = reinterpret_cast<PimFreeStringFn>(library_.getSymbol("pim_freeString"));
  if (!get) return "";
  char* text = nullptr;
  get(&text);
  std::string result = text ? text : "";
  // Without the library's own release the text stays with the library rather than being freed
  // by an allocator that did not make it.
  if (release) release(&text);
  return result;
}
