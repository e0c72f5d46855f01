#pragma once

#include <sys/types.h>

#include <string>

#include "platform/UniqueFd.h"

// Creating a chain of folders below an existing one by descriptor, so that no link planted below
// the base can redirect the walk. The base itself is opened as given (a link there is followed).
// Stateless; callable from any thread.
namespace platform {

// Creates every missing folder of the relative path `chain` below the existing folder `base`,
// walking by descriptor and never following a link below `base`. New folders get `mode` exactly
// and, when the process may, the given owner. Existing folders are kept as they are. A chain with
// an empty, "." or ".." component fails.
bool createFoldersFor(const std::string& base, const std::string& chain, uid_t uid, gid_t gid,
                      mode_t mode);

// The walk of createFoldersFor, handing back the last folder of the chain open (O_DIRECTORY,
// reached without following a link below `base`), so that whatever is then made, renamed or
// removed in it goes relative to that descriptor. An empty chain opens `base`. Invalid on failure.
UniqueFd openFoldersFor(const std::string& base, const std::string& chain, uid_t uid, gid_t gid,
                        mode_t mode);

// The same walk; new folders keep the process's owner and get `mode` as cut by the umask.
bool createFolders(const std::string& base, const std::string& chain, mode_t mode);

// Opens the existing folder `chain` below `base` the same way; invalid when a folder of the
// chain is missing, is not a folder or is a link, or when a component is empty, "." or "..".
UniqueFd openFolderChain(const std::string& base, const std::string& chain);

// A path naming the entry `name` of the open folder, which resolves into exactly that folder
// whatever is renamed or linked above it meanwhile. The entry itself is looked up as any path's
// last component is. Valid while the descriptor stays open.
std::string pathInOpenFolder(int folderFd, const std::string& name);

}  // namespace platform
