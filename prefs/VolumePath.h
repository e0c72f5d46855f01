#pragma once

#include <string>

#include "platform/system/MountTable.h"

// The mount point of the volume that holds an absolute path. The path need not exist: its nearest
// existing ancestor is resolved (links and all) and matched against the mount table, the longest
// mount point that holds it winning. False, `volumePath` unchanged, for "" or a relative path and
// when no mount point holds it. Stateless; any thread.
bool util_getVolumePath(const std::string& path, std::string& volumePath,
                        const platform::MountTable& mounts = platform::MountTable::system());
