#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/logging/AbstractLogger.h"
#include "foundation/text/StringUtils.h"

// Paths, files, folders and the numbered special folders. Free functions without state of their
// own, callable from any thread; nothing switches the effective uid. Those that log take an
// optional logger and log under "FileUtils", else through the utilities' fallbacks. As root,
// deletion and copying never follow a link that lies in the way: links are removed or copied as
// links, and entries are created through descriptors.
namespace FileUtils {

// The folder with the given id (see platform/system/SpecialFolders.h for the table). False, `path`
// unchanged, for an id without a folder and when the folder cannot be found or created.
bool getSpecialFolderPath(int id, std::string& path);

// Replaces the path by its dirname ("a/b" -> "a", "a" -> ".", "/a" -> "/"); false for "".
bool getParentDirectory(std::string& path);
// Appends `component` with exactly one "/" between (its leading "/"s are dropped); false when
// either is empty.
bool appendPathComponent(std::string& path, const std::string& component);
// The text after the last "/" ("" when the path ends with one); a path without "/" leaves `name`
// as it was. Always true.
bool getLastPathComponent(const std::string& path, std::string& name);
// The path cut at the last "." of its last component, then `suffix` (which carries its own dot);
// without such a dot the whole path, then `suffix`.
std::string replaceExtension(const std::string& path, const std::string& suffix);

// Whether a file or folder exists there (links are followed). `isDirectory` is set either way.
bool fileExistsAtPath(const std::string& path);
bool fileExistsAtPathIsDirectory(const std::string& path, bool& isDirectory);
// `size` is set to 0 first; false when the path cannot be examined.
bool getFileSize(const std::string& path, int64_t& size);

// Creates the folder and every missing parent; an existing folder counts as success. With
// setPermissions the new folders get mode 0775 and the owner and group of the nearest existing
// ancestor (unless that is a link); without, the process's owner and mode 0777 cut by the umask.
// Below the nearest existing ancestor no link is followed, and "." or ".." fail.
bool createDirectoryAtPath(const std::string& path, bool setPermissions = false,
                           pando::AbstractLogger* logger = nullptr);
bool createDirectoryWithPermissions(const std::string& path, pando::AbstractLogger* logger,
                                    bool setPermissions);

// Removes the item at `path`. Not recursive, a folder with any entry is left and false returned
// (without a log line). Recursive removal never follows links. False for "".
bool deleteDirectory(const std::string& path, bool recursive,
                     pando::AbstractLogger* logger = nullptr, bool logSuccess = false);
// True when nothing is there; otherwise whether the item (a folder with everything in it) was
// removed.
bool deleteFile(const std::string& path);

// Copies the file, link or folder tree at `source` to `destination`, creating the destination's
// folder. The third argument is `replace`: true deletes an existing destination first when the
// source is a file; false makes an existing destination fail the copy.
bool copyFile(const std::string& source, const std::string& destination, bool replace,
              pando::AbstractLogger* logger = nullptr);
// Copies the contents of the folder `source` into `destination` (created with its parents),
// replacing what is there, keeping modes, links, times and, as root, owners. False when the
// source is not an existing folder or anything fails.
bool copyPathWithDitto(const std::string& source, const std::string& destination);

// Appends to `files` the full paths of the entries below `folder` whose relative name is longer
// than the extension and ends with it ("." is put in front unless present), depth first, names
// in byte order. Not recursive, sub-folders are neither entered nor listed; links to folders are
// never entered. Always true.
bool getFilesWithExtension(const std::string& folder, const std::string& extension,
                           std::vector<std::string>& files, bool recursive);

// Writes the whole file in one atomic step (a new file renamed over the old one, never written
// through a link). False for "" or a failed write.
bool CreateFileWithContentAtPath(const std::string& path, const std::string& bytes);
// No text file this product reads comes near it; callers may pass a lower bound.
inline constexpr size_t kReadFileContentsMaxBytes = size_t{64} << 20;
// The regular file as UTF-8 text; text that is not UTF-8 is read as UTF-16 when it starts with a
// byte-order mark, and converted. False, `text` unchanged, when nothing is there, when it is not a
// regular file (a pipe or a device is never waited on), when it is larger than `maxBytes` or
// when it is neither (that one logged).
bool readFileContents(const std::string& path, std::string& text,
                      size_t maxBytes = kReadFileContentsMaxBytes,
                      pando::AbstractLogger* logger = nullptr);

// The version in the library's "__info_plist" section (CFBundleVersion) parsed into `version`;
// numbers the text lacks keep the caller's values. False, `version` unchanged, when the file
// cannot be read or carries no version.
bool GetDynamicLibraryVersion(const std::string& path, StringUtils::VersionNumbers& version,
                              pando::AbstractLogger* logger = nullptr);

}  // namespace FileUtils
