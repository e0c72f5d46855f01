#pragma once

#include <string>

#include "platform/UniqueFd.h"

namespace orvel::PackageDownloadManager {

// The operation folders of package downloads: "<temporary folder>/<UUID>", private to the run
// that made it. A run holds an exclusive lock (flock) on the folder's lock file for its whole
// life, so a folder whose lock file nobody holds was left by a run that was killed.
//
// Stateless; callable from any thread. Everything below the temporary folder is reached by
// descriptor and no link is followed.

// Creates the lock file in the new operation folder `folder` and locks it; the lock lasts as
// long as the returned descriptor. Invalid when that failed: the folder then has no lock file,
// and so is never taken for a leftover.
platform::UniqueFd holdOperationFolder(const std::string& folder);

// Removes, with everything in it, each UUID-named folder directly in `temporaryFolder` that
// belongs to the running user and has a lock file of that user that no process holds. Folders
// without a lock file, links, other names and other users' folders stay. The number removed.
int removeAbandonedOperationFolders(const std::string& temporaryFolder);

}  // namespace orvel::PackageDownloadManager
