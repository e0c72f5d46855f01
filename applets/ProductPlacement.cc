#include "applets/ProductPlacement.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include "core/config/ProductInfoXml.h"
#include "foundation/files/TreeCopy.h"
#include "foundation/files/TreeRemoval.h"
#include "foundation/files/UnzipHandler.h"
#include "foundation/logging/LogCallback.h"
#include "platform/system/SpecialFolders.h"

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

void removeQuietlyAt(int folder, const std::string& name) {
  int error = 0;
  files::removeEntryAt(folder, name, error);
}

// Moves the folder `from` to the free name `to` in the open folder `folder`, copying when the two
// lie on different volumes (into the descriptor's own folder, named through /proc/self/fd).
bool moveFolderInto(const std::string& from, int folder, const std::string& to, int& error) {
  if (renameat(AT_FDCWD, from.c_str(), folder, to.c_str()) == 0) return true;
  if (errno != EXDEV) {
    error = errno;
    return false;
  }
  if (files::copyItem(from, "/proc/self/fd/" + std::to_string(folder) + "/" + to, error)) {
    return true;
  }
  removeQuietlyAt(folder, to);
  return false;
}

// Makes `staged` the entry `target` of `folder` in one step; an older one ends up at `staged`.
bool swapIntoPlace(int folder, const std::string& staged, const std::string& target, int& error) {
  if (renameat2(folder, staged.c_str(), folder, target.c_str(), RENAME_EXCHANGE) == 0 ||
      (errno == ENOENT &&
       renameat2(folder, staged.c_str(), folder, target.c_str(), RENAME_NOREPLACE) == 0)) {
    return true;
  }
  error = errno;
  return false;
}

}  // namespace

// The products folder lies in the console user's tree, which they may rearrange while root works
// in it: it is reached by descriptor without following a link, and everything made, renamed or
// removed in it goes relative to that descriptor.
platform::UniqueFd ProductPlacement::openProductsFolder(std::string& path) {
  return platform::openSpecialFolder(kProductsSpecialFolder, "Products", path);
}

bool ProductPlacement::productsFolder(std::string& path) {
  return openProductsFolder(path).valid();
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
  platform::UniqueFd folder = openProductsFolder(products);
  if (!folder.valid()) {
    const int error = errno;
    logFailure("Creating the products folder", products, error);
    return writeFailure(products, error);
  }
  // "+" never occurs in an id, so the staging name cannot be another product's folder.
  const std::string staged = id + "+partial";
  removeQuietlyAt(folder.get(), staged);
  int error = 0;
  if (!moveFolderInto(content, folder.get(), staged, error)) {
    logFailure("Moving the product to", products + "/" + staged, error);
    return writeFailure(products, error);
  }
  if (!swapIntoPlace(folder.get(), staged, id, error)) {
    logFailure("Replacing the product at", products + "/" + id, error);
    removeQuietlyAt(folder.get(), staged);
    return writeFailure(products, error);
  }
  removeQuietlyAt(folder.get(), staged);  // the older copy, if there was one
  LogCallback(pando::kLogInfo, kBootstrapperModule, kComponent, "", "",
              "Installed product %s at %s", id.c_str(), (products + "/" + id).c_str());
  return {};
}

}  // namespace applets
