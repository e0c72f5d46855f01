#include "foundation/files/FileUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "foundation/files/FolderEntries.h"
#include "foundation/files/PathText.h"
#include "foundation/files/TreeCopy.h"
#include "foundation/files/TreeRemoval.h"
#include "foundation/logging/UtilsLog.h"
#include "foundation/text/Utf8.h"
#include "platform/UniqueFd.h"
#include "platform/files/AtomicFile.h"
#include "platform/files/ElfSection.h"
#include "platform/files/FileContents.h"
#include "platform/files/FolderChain.h"
#include "platform/plist/InfoPlist.h"
#include "platform/system/SpecialFolders.h"

namespace FileUtils {
namespace {

using platform::UniqueFd;

constexpr char kComponent[] = "FileUtils";

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The nearest existing ancestor of `path` and the relative chain of folders missing below it.
void findExistingAncestor(const std::string& path, std::string& ancestor, std::string& chain) {
  ancestor = path;
  chain.clear();
  while (!fileExistsAtPath(ancestor)) {
    std::string name = files::baseName(ancestor);
    if (name != "." && !name.empty()) chain = chain.empty() ? name : name + "/" + chain;
    ancestor = files::dirName(ancestor);
  }
}

void walkFolder(int folderFd, const std::string& folder, const std::string& relative,
                const std::string& extension, std::vector<std::string>& found, bool recursive) {
  std::vector<std::string> names;
  int error = 0;
  if (!files::folderEntryNames(folderFd, names, error)) return;
  for (const std::string& name : names) {
    std::string entry = relative.empty() ? name : relative + "/" + name;
    struct stat info;
    if (fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    bool isFolder = S_ISDIR(info.st_mode);
    if (isFolder && !recursive) continue;
    if (entry.size() > extension.size() && endsWith(entry, extension)) {
      std::string full = folder;
      appendPathComponent(full, entry);
      found.push_back(full);
    }
    if (!isFolder) continue;
    UniqueFd child(openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (child.valid()) walkFolder(child.get(), folder, entry, extension, found, recursive);
  }
}

}  // namespace

bool getSpecialFolderPath(int id, std::string& path) {
  return platform::specialFolderPath(id, path);
}

bool getParentDirectory(std::string& path) {
  if (path.empty()) return false;
  path = files::dirName(path);
  return true;
}

bool appendPathComponent(std::string& path, const std::string& component) {
  if (path.empty() || component.empty()) return false;
  size_t start = component.find_first_not_of('/');
  if (path.back() != '/') path += '/';
  if (start != std::string::npos) path += component.substr(start);
  return true;
}

bool getLastPathComponent(const std::string& path, std::string& name) {
  size_t slash = path.rfind('/');
  if (slash != std::string::npos) name = path.substr(slash + 1);
  return true;
}

std::string replaceExtension(const std::string& path, const std::string& suffix) {
  size_t dot = path.rfind('.');
  size_t slash = path.rfind('/');
  bool inLastComponent = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (inLastComponent ? path.substr(0, dot) : path) + suffix;
}

bool fileExistsAtPath(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

bool fileExistsAtPathIsDirectory(const std::string& path, bool& isDirectory) {
  struct stat info;
  bool exists = stat(path.c_str(), &info) == 0;
  isDirectory = exists && S_ISDIR(info.st_mode);
  return exists;
}

bool getFileSize(const std::string& path, int64_t& size) {
  size = 0;
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  size = static_cast<int64_t>(info.st_size);
  return true;
}

bool createDirectoryAtPath(const std::string& path, bool setPermissions,
                           pando::AbstractLogger* logger) {
  return createDirectoryWithPermissions(path, logger, setPermissions);
}

bool createDirectoryWithPermissions(const std::string& path, pando::AbstractLogger* logger,
                                    bool setPermissions) {
  if (path.empty()) return false;
  std::string ancestor;
  std::string chain;
  findExistingAncestor(path, ancestor, chain);
  bool made;
  if (setPermissions) {
    pando::utilsLog(logger, pando::kLogInfo, kComponent,
                    " shouldSetPermission is true, parent folder found  =  %s ", ancestor.c_str());
    struct stat info;
    uid_t owner = geteuid();
    gid_t group = getegid();
    if (lstat(ancestor.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)) {
      pando::utilsLog(logger, pando::kLogInfo, kComponent,
                      "shouldSetPermission is true,owner =%d,group =%d", info.st_uid, info.st_gid);
      owner = info.st_uid;
      group = info.st_gid;
    }
    made = platform::createFoldersFor(ancestor, chain, owner, group, 0775);
  } else {
    made = platform::createFolders(ancestor, chain, 0777);
  }
  bool isDirectory = false;
  if (made && fileExistsAtPathIsDirectory(path, isDirectory) && isDirectory) return true;
  pando::utilsLog(logger, pando::kLogError, kComponent, "Failed to create directory at path ex %s ",
                  path.c_str());
  return false;
}

bool deleteDirectory(const std::string& path, bool recursive, pando::AbstractLogger* logger,
                     bool logSuccess) {
  if (path.empty()) return false;
  int error = 0;
  bool removed;
  struct stat info;
  if (!recursive && lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    removed = rmdir(path.c_str()) == 0;
    if (!removed && (errno == ENOTEMPTY || errno == EEXIST)) return false;
    error = errno;
  } else {
    removed = files::removeItem(path, error);
  }
  if (!removed) {
    pando::utilsLog(logger, pando::kLogWarn, kComponent, "Failed to remove file. Error: %s",
                    std::strerror(error));
    return false;
  }
  if (logSuccess) {
    pando::utilsLog(logger, pando::kLogInfo, kComponent,
                    "Successfully deleted directory from path: %s. Recursive: %d", path.c_str(),
                    recursive ? 1 : 0);
  }
  return true;
}

bool deleteFile(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0 && errno == ENOENT) return true;
  int error = 0;
  return files::removeItem(path, error);
}

bool copyFile(const std::string& source, const std::string& destination, bool replace,
              pando::AbstractLogger* logger) {
  bool isDirectory = false;
  if (replace && fileExistsAtPathIsDirectory(source, isDirectory) && !isDirectory &&
      !deleteFile(destination)) {
    pando::utilsLog(logger, pando::kLogError, kComponent, "Unable to delete destination file '%s'.",
                    destination.c_str());
    return false;
  }
  createDirectoryWithPermissions(files::dirName(destination), logger, false);
  int error = 0;
  if (!files::copyItem(source, destination, error)) {
    pando::utilsLog(logger, pando::kLogError, kComponent,
                    "Error Failed to copy src file '%s' to dst file '%s'.", source.c_str(),
                    destination.c_str());
    return false;
  }
  return true;
}

bool copyPathWithDitto(const std::string& source, const std::string& destination) {
  bool isDirectory = false;
  if (!fileExistsAtPathIsDirectory(source, isDirectory) || !isDirectory) return false;
  if (!createDirectoryWithPermissions(destination, nullptr, false)) return false;
  int error = 0;
  return files::mergeFolder(source, destination, error);
}

bool getFilesWithExtension(const std::string& folder, const std::string& extension,
                           std::vector<std::string>& files, bool recursive) {
  std::string dotted = !extension.empty() && extension[0] == '.' ? extension : "." + extension;
  UniqueFd top(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (top.valid()) walkFolder(top.get(), folder, "", dotted, files, recursive);
  return true;
}

bool CreateFileWithContentAtPath(const std::string& path, const std::string& bytes) {
  return platform::replaceFileAtomically(path, bytes, platform::AtomicFileMode::kCreationDefault);
}

bool readFileContents(const std::string& path, std::string& text, size_t maxBytes,
                      pando::AbstractLogger* logger) {
  std::string bytes;
  std::string error;
  if (!platform::readRegularFile(path, maxBytes, bytes, error)) return false;
  if (Utf8::isValid(bytes)) {
    text = std::move(bytes);
    return true;
  }
  if (Utf8::fromMarkedUtf16(bytes, text)) return true;
  pando::utilsLog(logger, pando::kLogError, kComponent,
                  "File %s is neither UTF-8 nor marked UTF-16, not read", path.c_str());
  return false;
}

bool GetDynamicLibraryVersion(const std::string& path, StringUtils::VersionNumbers& version,
                              pando::AbstractLogger* logger) {
  std::string plist;
  switch (platform::readElfSection(path, platform::kInfoPlistSection,
                                   platform::kInfoPlistMaximumSize, plist)) {
    case platform::ElfReadStatus::kOpenFailed:
      pando::utilsLog(logger, pando::kLogError, kComponent,
                      "Error Failed open the dylib %s while getting its version", path.c_str());
      return false;
    case platform::ElfReadStatus::kStatFailed:
      pando::utilsLog(logger, pando::kLogError, kComponent,
                      "Error Failed to fstat file '%s' while getting its version", path.c_str());
      return false;
    case platform::ElfReadStatus::kMapFailed:
      pando::utilsLog(logger, pando::kLogError, kComponent,
                      "Error Failed map the dylib %s while getting its version", path.c_str());
      return false;
    case platform::ElfReadStatus::kNotFound:
    case platform::ElfReadStatus::kFound:
      break;
  }
  std::string text;
  if (plist.empty() || !platform::bundleVersionFromInfoPlist(plist, text)) {
    pando::utilsLog(logger, pando::kLogError, kComponent,
                    "Error Failed to get the dylib %s  version", path.c_str());
    return false;
  }
  StringUtils::utilParseVersionString(text, version);
  pando::utilsLog(logger, pando::kLogInfo, kComponent,
                  "Version for the dylib %s successfully obtained", path.c_str());
  return true;
}

}  // namespace FileUtils
