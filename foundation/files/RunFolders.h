#pragma once

#include <string>

#include "platform/UniqueFd.h"

namespace pando {
class AbstractLogger;
}  // namespace pando

// The private folders that runs make in the temporary folder, "<temporary folder>/<UUID>": the
// package downloads' operation folders and the installer's own temporary folder. A run holds an
// exclusive lock (flock) on the folder's lock file for its whole life, so a folder whose lock file
// nobody holds was left by a run that was killed.
//
// Stateless; callable from any thread. Everything below the temporary folder is reached by
// descriptor and no link is followed.
namespace files {

// Creates the lock file in the new run folder `folder` and locks it; the lock lasts as long as
// the returned descriptor. The file only appears once it is locked, so no clean-up can take the
// folder for a leftover meanwhile. Invalid when that failed: the folder then has no lock file,
// and so is never taken for a leftover.
platform::UniqueFd holdRunFolder(const std::string& folder);

// Removes, with everything in it, each UUID-named folder directly in `temporaryFolder` that
// belongs to the running user and has a lock file of that user that no process holds. Folders
// without a lock file, links, other names and other users' folders stay. Each folder removed, or
// removed only in part, is logged to `logger` (null: the utilities' default logger). The number
// removed.
int removeAbandonedRunFolders(const std::string& temporaryFolder,
                              pando::AbstractLogger* logger = nullptr);

}  // namespace files
