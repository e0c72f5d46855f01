#pragma once

#include <string>

#include "platform/UniqueFd.h"

// One dynamically loaded library: load by path with immediate binding, look up symbols, unload.
// The object owns the loader's handle; destroying it unloads the library. No reference count,
// no record of the path. Load failures are logged under "NativeLibrary" through the utilities'
// fallback logging. One object is not thread-safe; separate objects may be used from any thread.
//
// A process running as root loads only a regular file, not reached through a link at its last
// component, owned by root or by the console user and writable by neither group nor others: code
// that another user can replace must not run as root. The checked file is the one loaded (it is
// loaded through the descriptor that was checked, so then "$ORIGIN" in the library's search
// path names /proc/self/fd rather than its folder). The loader knows a library by that name, so
// the descriptor stays open while the library is loaded, and for good should another holder keep
// it loaded: a name that is never reused can never hand a later load another library.
class NativeLibrary {
 public:
  NativeLibrary() = default;
  NativeLibrary(const NativeLibrary&) = delete;
  NativeLibrary& operator=(const NativeLibrary&) = delete;
  ~NativeLibrary();

  // When the file is checked before it is loaded: as root only, or always (a library that a
  // user's process loads from a folder others could reach, such as a test hook). A check outside
  // root accepts this process's user as the owner too.
  enum class OwnerCheck { kAsRoot, kAlways };

  // True when a library is loaded afterwards. With one already loaded, true at once and `path`
  // is ignored. On failure logs "Unable to load library at path: %s. Error: %s" (kLogWarn).
  bool load(const std::string& path, OwnerCheck check = OwnerCheck::kAsRoot);
  // The symbol's address; null when nothing is loaded or the symbol is missing.
  void* getSymbol(const char* name) const;
  // False when nothing is loaded or the loader refuses to unload (the handle is then kept).
  bool unload();
  bool isLoaded() const { return handle_ != nullptr; }

 private:
  void releaseName();

  void* handle_ = nullptr;
  platform::UniqueFd fd_;  // when checked: the descriptor whose name loaded the library
};
