#include "applets/ProductPlacement.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include "core/config/ProductInfoXml.h"
#include "foundation/files/FileUtils.h"
#include "foundation/files/TreeCopy.h"
#include "foundation/files/TreeRemoval.h"
#include "foundation/files/UnzipHandler.h"
#include "foundation/logging/LogCallback.h"

namespace applets {
namespace {

constexpr char kComponent[] = "LoomIMMessageManager";
constexpr int kProductsSpecialFolder = 19;

void logFailure(const char* what, const std::string& path, int error) {
  LogCallback(pando::kLogError, kBootstrapperModule, kComponent, "", "", "%s %s failed: errno %d",
              what, path.c_str(), error);
}

bool volumeIsFull(const std::string& path) {
  struct statvfs info;
  return statvfs(path.c_str(), &info) == 0 && info.f_bavail == 0;
}

// What a failed write at `path` means: a full disk, or a product that cannot be put in place.
ProductFailure writeFailure(const std::string& path, int error) {
  if (error == ENOSPC || error == EDQUOT || volumeIsFull(path)) return diskFullAt(path);
  return failure(kErrorExtraction);
}

void removeQuietly(const std::string& path) {
  int error = 0;
  files::removeItem(path, error);
}

// Moves the folder `from` to the free name `to`, copying when the two lie on different volumes.
bool moveFolder(const std::string& from, const std::string& to, int& error) {
  if (rename(from.c_str(), to.c_str()) == 0) return true;
  if (errno != EXDEV) {
    error = errno;
    return false;
  }
  if (files::copyItem(from, to, error)) return true;
  removeQuietly(to);
  return false;
}

// Makes `staged` the folder `target` in one step; an older folder there ends up at `staged`.
bool swapIntoPlace(const std::string& staged, const std::string& target, int& error) {
  if (renameat2(AT_FDCWD, staged.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0 ||
      (errno == ENOENT &&
       renameat2(AT_FDCWD, staged.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)) {
    return true;
  }
  error = errno;
  return false;
}

}  // namespace

bool ProductPlacement::productsFolder(std::string& path) {
  std::string folder;
  if (!FileUtils::getSpecialFolderPath(kProductsSpecialFolder, folder) ||
      !FileUtils::appendPathComponent(folder, "Products") ||
      !FileUtils::createDirectoryAtPath(folder, true)) {
    return false;
  }
  path = folder;
  return true;
}

ProductFailure ProductPlacement::install(const std::string& archive, const std::string& workFolder,
                                         const std::string& id) {
  const std::string content = workFolder + "/content";
  ProductFailure result = extract(archive, content);
  if (!result.failed()) result = place(content, id);
  removeQuietly(content);
  return result;
}

ProductFailure ProductPlacement::extract(const std::string& archive, const std::string& content) {
  removeQuietly(content);
  if (mkdir(content.c_str(), 0755) != 0) return writeFailure(content, errno);
  UnzipHandler unzip;
  if (!unzip.extract(archive.c_str(), content.c_str(), false, UnzipHandler::kEntryMode)) {
    LogCallback(pando::kLogError, kBootstrapperModule, kComponent, "", "",
                "Extraction of %s failed", archive.c_str());
    return writeFailure(content, 0);
  }
  const std::string info = content + "/productInfo.xml";
  if (!WriteProductInfoXml(config_, info, true)) return writeFailure(content, 0);
  return {};
}

ProductFailure ProductPlacement::place(const std::string& content, const std::string& id) {
  std::string products;
  if (!productsFolder(products)) {
    logFailure("Creating the products folder", products, errno);
    return writeFailure(products, errno);
  }
  // "+" never occurs in an id, so the staging name cannot be another product's folder.
  const std::string staged = products + "/" + id + "+partial";
  const std::string target = products + "/" + id;
  removeQuietly(staged);
  int error = 0;
  if (!moveFolder(content, staged, error)) {
    logFailure("Moving the product to", staged, error);
    return writeFailure(products, error);
  }
  if (!swapIntoPlace(staged, target, error)) {
    logFailure("Replacing the product at", target, error);
    removeQuietly(staged);
    return writeFailure(products, error);
  }
  removeQuietly(staged);  // the older copy, if there was one
  LogCallback(pando::kLogInfo, kBootstrapperModule, kComponent, "", "",
              "Installed product %s at %s", id.c_str(), target.c_str());
  return {};
}

}  // namespace applets
