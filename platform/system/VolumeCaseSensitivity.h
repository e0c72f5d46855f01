#pragma once

#include <string>

// Whether the volume that holds `path` compares names case-sensitively. Linux volumes stand in for
// macOS ones, which are case-insensitive unless formatted otherwise: a volume counts as
// case-sensitive only when WEND_CASE_SENSITIVE_VOLUMES (mount points separated by ":") names its
// mount point. False, `caseSensitive` untouched, when the path's volume cannot be found.
// Stateless; any thread.
namespace platform {

bool isVolumeCaseSensitive(const std::string& path, bool& caseSensitive);

}  // namespace platform
