#pragma once

#include <string>
#include <vector>

#include "foundation/files/UnzipSettings.h"
#include "foundation/logging/AbstractLogger.h"
#include "platform/UniqueFd.h"

// The destination folder of one extraction, held open, and everything written below it. Every
// step below the folder goes by descriptor without following a link: a link planted in the tree
// (by an earlier archive or another user) fails the walk instead of redirecting it, an existing
// link or hard link at a file's name is removed before the file is created, and files are opened
// with O_NOFOLLOW. Used by one thread at a time.
namespace files {

class UnzipFolder {
 public:
  UnzipFolder(const UnzipSettings& settings, pando::AbstractLogger* logger);

  // Opens the existing folder `path` (a link at `path` itself fails). False with errno set.
  bool open(const std::string& path);
  const std::string& path() const { return path_; }

  // The folder reached through the first `count` components of `parts`, each created (mode 0775,
  // retried as the settings say) when missing; an existing folder, also one that appears during
  // the call, is kept. Returns a descriptor that stays owned here and valid until the next call,
  // or -1 after logging. The last folder reached is remembered, so entries of one folder walk once.
  int folder(const std::vector<std::string>& parts, size_t count);

  // Opens `name` in `folderFd` for writing, truncated, as a regular file of its own (retried).
  // Invalid after logging "Cannot open file ..." when every try failed.
  platform::UniqueFd createFile(int folderFd, const std::string& name, const std::string& fullPath);

  // Opens `name` in `folderFd` for reading its attributes, creating an empty file when nothing is
  // there; a link there is left alone (ELOOP). Invalid with errno set on failure.
  platform::UniqueFd touchFile(int folderFd, const std::string& name);

  // Makes `name` in `folderFd` a link to `target`, replacing a link or file there (not a folder).
  // False with errno set.
  static bool createLink(int folderFd, const std::string& name, const std::string& target);

 private:
  bool step(int parentFd, const std::string& name, const std::string& fullPath,
            platform::UniqueFd& child);

  const UnzipSettings& settings_;
  pando::AbstractLogger* logger_;
  std::string path_;
  platform::UniqueFd root_;
  std::vector<std::string> cachedParts_;  // the parts that lead to cached_
  platform::UniqueFd cached_;
};

}  // namespace files
