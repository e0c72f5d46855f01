#pragma once

#include <string>

#include "foundation/logging/AbstractLogger.h"

// Attaching and detaching disk images through the hdiutil tool (platform::Tool::kHdiutil, so
// WEND_TOOL_HDIUTIL may name a stand-in). Keeps no state; callable from any thread; each call
// blocks until the tool has ended. Logs under "FileUtils" through `logger`, else through the
// utilities' fallback logging.
namespace FileUtils {

// Mounts the image read-only at `mountPoint`. When that fails, looks the image up among the
// attached ones ("hdiutil info -plist", matched by standardised path) and takes its first mount
// point. `mountedAt` is overwritten: mountPoint on success, the found mount point (and
// `mountedHere` false) on the look-up, else empty. True when `mountedAt` is not empty.
bool attachDiskImage(const std::string& imagePath, const std::string& mountPoint,
                     std::string& mountedAt, bool& mountedHere,
                     pando::AbstractLogger* logger = nullptr);

// Unmounts the volume at `mountPoint`; true when the tool succeeded. No forced detach, no retry.
bool detachDiskImage(const std::string& mountPoint, pando::AbstractLogger* logger = nullptr);

// The path with "." and empty components removed and ".." resolved against what precedes it
// (leading ".." of a relative path kept, ".." at "/" staying at "/"), without a trailing "/".
// The file system is not consulted.
std::string standardizePath(const std::string& path);

}  // namespace FileUtils
