#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "download/engine/files/DiskSpaceProbe.h"

// The engine's file-system functions. They keep no state and may be called from any thread.
// Failures are logged to the engine log; functions with an `error` argument put the system error
// number there (a negative engine number where noted). No path is followed through a symbolic
// link at its last component.
namespace gde {

// Creates (or empties) the file, mode 0644.
bool createLocalFile(const std::string& path, int& error);
// A failure that no retry can mend: the path names a folder or is too long.
bool isPermanentFileError(int systemError);
// Sets the file's size, extending it with zero bytes. On failure `error` is classifyFileError's
// code for `size` and the file is deleted.
bool truncateFile(const std::string& path, uint64_t size, int& error,
                  const DiskSpaceProbe& probe = systemDiskSpaceProbe());
// Reserves the disk space of the file's first `size` bytes where the file system can, so that a
// disk that cannot hold them fails now instead of midway: classifyFileError's code in `error`
// and the file deleted. A volume without the room is not asked to try. True also where the file
// system has no reservation.
bool reserveFileSpace(const std::string& path, uint64_t size, int& error,
                      const DiskSpaceProbe& probe = systemDiskSpaceProbe());
// A missing file counts as deleted. An empty path fails with kDleErrorInvalidPath (-80).
bool deleteFile(const std::string& path, int& error);
bool fileExists(const std::string& path);
bool folderExists(const std::string& path);
// Creates the folder and every missing folder above it.
bool createFolder(const std::string& path, int& error);
// Removes the folder and everything in it; links inside are removed, not followed.
bool removeFolder(const std::string& path, int& error);
// Moves `from` to `to`; fails (EEXIST) rather than replace an existing `to`.
bool renameFile(const std::string& to, const std::string& from, int& error);
// Replaces the file's contents in one step (a temporary file renamed over it).
bool writeStringToFile(const std::string& path, const std::string& text);

// 1: `available` holds what the user's quota still allows; 0: no quota applies; -1: the quota
// could not be read.
int getQuotaSize(const std::string& path, uint64_t& available,
                 const DiskSpaceProbe& probe = systemDiskSpaceProbe());
// True when both the user's quota and the volume can take `needed` more bytes (strictly more
// than `needed` must be free).
bool hasEnoughSpace(const std::string& path, uint64_t needed,
                    const DiskSpaceProbe& probe = systemDiskSpaceProbe());
// kFileErrorDiskFull (10020) when the failure was ENOSPC or EDQUOT or the volume cannot take
// `needed` bytes, else kFileErrorOther (10030). `systemError` is the failing call's errno, 0 when
// unknown.
int classifyFileError(const std::string& path, uint64_t needed, int systemError = 0,
                      const DiskSpaceProbe& probe = systemDiskSpaceProbe());

// Accepts only the digits '0'-'9'; anything else, or a value above UINT64_MAX, fails with `out`
// 0. An empty text is 0 and succeeds.
bool parseDecimalU64(const char* text, size_t length, uint64_t& out);
bool formatU64(uint64_t value, std::string& out);
// atoi's reading (leading blanks, optional sign, digits); out of range clamps to the int32 limits.
void stringToInt(const char* text, int32_t& out);

// The effective user's home folder (under WEND_ROOT).
bool getHomeFolder(std::string& out);
// The console user's home folder (under WEND_ROOT); the effective user's when no console user is
// known. The effective user id is never switched.
bool getConsoleUserHomeFolder(std::string& out);

}  // namespace gde
