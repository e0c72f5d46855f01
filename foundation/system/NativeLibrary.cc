#include "foundation/system/NativeLibrary.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "foundation/logging/UtilsLog.h"
#include "platform/UniqueFd.h"
#include "platform/system/ConsoleUser.h"

namespace {

constexpr char kComponent[] = "NativeLibrary";

void logFailure(const std::string& path, const char* error) {
  pando::utilsLog(nullptr, pando::kLogWarn, kComponent,
                  "Unable to load library at path: %s. Error: %s", path.c_str(),
                  error ? error : "");
}

bool trustedOwner(uid_t owner) {
  if (owner == 0 || owner == geteuid()) return true;
  platform::ConsoleUser user;
  return platform::findConsoleUser(user) && user.uid == owner;
}

// Opens the file for loading, or explains why it may not be loaded.
bool openChecked(const std::string& path, platform::UniqueFd& fd, const char*& refusal) {
  fd.reset(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  struct stat info;
  if (!fd.valid()) {
    refusal = errno == ELOOP ? "refused: the path is a symbolic link" : strerror(errno);
  } else if (fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    refusal = "refused: not a regular file";
  } else if (!trustedOwner(info.st_uid)) {
    refusal = "refused: owned by another user";
  } else if (info.st_mode & (S_IWGRP | S_IWOTH)) {
    refusal = "refused: writable by group or others";
  } else {
    return true;
  }
  return false;
}

std::string descriptorName(int fd) {
  return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

NativeLibrary::~NativeLibrary() {
  if (handle_ && dlclose(handle_) == 0) releaseName();
  handle_ = nullptr;
}

void NativeLibrary::releaseName() {
  if (!fd_.valid()) return;
  if (void* still = dlopen(descriptorName(fd_.get()).c_str(), RTLD_LAZY | RTLD_NOLOAD)) {
    dlclose(still);
    fd_.release();  // deliberately kept open: see the header
    return;
  }
  fd_.reset();
}

bool NativeLibrary::load(const std::string& path, OwnerCheck check) {
  if (handle_) return true;
  if (geteuid() != 0 && check == OwnerCheck::kAsRoot) {
    handle_ = dlopen(path.c_str(), RTLD_NOW);
    if (!handle_) logFailure(path, dlerror());
    return handle_ != nullptr;
  }
  platform::UniqueFd fd;
  const char* refusal = nullptr;
  if (!openChecked(path, fd, refusal)) {
    logFailure(path, refusal);
    return false;
  }
  // The descriptor's name loads exactly the file that was checked, whatever the path names now.
  handle_ = dlopen(descriptorName(fd.get()).c_str(), RTLD_NOW);
  if (!handle_) {
    logFailure(path, dlerror());
    return false;
  }
  fd_ = std::move(fd);
  return true;
}

void* NativeLibrary::getSymbol(const char* name) const {
  if (!handle_ || !name) return nullptr;
  return dlsym(handle_, name);
}

bool NativeLibrary::unload() {
  if (!handle_ || dlclose(handle_) != 0) return false;
  handle_ = nullptr;
  releaseName();
  return true;
}
