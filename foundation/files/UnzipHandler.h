#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "foundation/files/UnzipFolder.h"
#include "foundation/files/UnzipSettings.h"
#include "foundation/files/Zip64Entry.h"
#include "foundation/logging/AbstractLogger.h"
#include "platform/UniqueFd.h"

// Unpacks a whole zip archive into a folder over minizip, on the caller's thread: folders made on
// demand, Unix modes from the entries, links created after every other entry, and "__MACOSX/"
// AppleDouble entries merged onto their files as extended attributes.
//
// Archives are hostile until checked: an entry whose name is absolute or has a ".." component
// fails the extraction, nothing is written through a link below the destination, and an entry
// that does not read back whole and with its CRC fails it too, and so does a second file or link
// entry for a path already named (a later entry must not silently replace an earlier one). As
// root, set-user-id, set-group-id and write for others are never applied from an entry's mode.
// An AppleDouble entry whose file in the destination is a link is skipped with a warning. The
// first failing entry ends the
// extraction; what was written stays for the caller to clean up or retry. Results are booleans;
// lines go to the given logger, else to the utilities' fallbacks, under "UnzipHandler".
//
// One thread at a time; no lock. Folder creation and file opening may block for the settings'
// retries (about two seconds each by default).
class UnzipHandler {
 public:
  // A link entry waiting for the end of the extraction.
  struct FileInfo {
    std::string linkTarget;   // the entry's data, up to the first NUL
    std::string entryName;    // the entry's name as extracted (after junking of paths)
    uint32_t mode = 0;        // the effective mode
    std::string destination;  // the folder the name is relative to
  };

  // The current entry, as getCurrentFileInfo reads it.
  struct CurrentFileInfo {
    std::string name;     // every "\" turned into "/", cut at a NUL byte
    std::string comment;  // at most 255 bytes
    uint32_t version = 0, versionNeeded = 0, flag = 0, compressionMethod = 0, dosDate = 0, crc = 0;
    uint64_t compressedSize = 0, uncompressedSize = 0;
    uint32_t internalAttributes = 0;
    uint32_t entryMode = 0;  // the upper 16 bits of the external attributes
    bool isFolder = false;   // the name is not empty and ends in "/"
  };

  static constexpr uint32_t kEntryMode = 0xFFFFFFFF;  // mode argument: each entry's own

  // Opens `archivePath` when it is not null.
  explicit UnzipHandler(const char* archivePath = nullptr, pando::AbstractLogger* logger = nullptr,
                        files::UnzipSettings settings = {});
  UnzipHandler(const UnzipHandler&) = delete;
  UnzipHandler& operator=(const UnzipHandler&) = delete;
  virtual ~UnzipHandler();

  // Closes what is open, then opens the archive and sets the default destination: the path cut
  // at the last "." of its last component (the whole path when that has none). An archive that
  // cannot be opened is logged.
  bool open(const char* archivePath);
  // Opens the archive, extracts everything (extractAll) and closes it again.
  bool extract(const char* archivePath, const char* destination, bool junkPaths, uint32_t mode);
  // Extracts every entry of the open archive below `destination`, then creates the links.
  bool extractAll(const char* destination, bool junkPaths, uint32_t mode);
  // Extracts the current entry; a null destination is the default one. A link is only recorded.
  // Entries that need the zip64 extension are read past minizip (see Zip64Entry.h).
  bool extractCurrentFile(const char* destination, bool junkPaths, uint32_t mode);
  bool getCurrentFileInfo(CurrentFileInfo& info);
  // Makes sure the folder exists, creating it and its parents (mode 0775, retried); a link at
  // any existing step counts as not a folder.
  bool CreateFilePath(const char* path);

  const std::string& defaultDestination() const { return defaultDestination_; }

 private:
  struct Entry;

  void close();
  bool createFolderChain(const std::string& path);
  bool prepareEntry(const char* destination, bool junkPaths, uint32_t mode, Entry& entry);
  bool underRecordedLink(const Entry& entry) const;
  bool extractLink(Entry& entry);
  bool extractAppleDouble(Entry& entry);
  bool extractPlain(Entry& entry);
  bool writeFile(Entry& entry, int folderFd, const std::string& name);
  bool readEntry(const Entry& entry, const std::function<bool(const char*, size_t)>& sink);
  bool createLinks();

  files::UnzipSettings settings_;
  pando::AbstractLogger* logger_;
  void* archive_ = nullptr;       // minizip's unzFile
  platform::UniqueFd archiveFd_;  // the same archive, for entries minizip cannot read
  std::string defaultDestination_;
  std::map<std::string, FileInfo> linkMap_;  // full link path -> link; lives for one extractAll
  std::set<std::string> named_;    // full paths of the file and link entries of one extractAll
  files::UnzipFolder folder_;      // the destination of the current extraction
  std::vector<char> buffer_;       // entry data pass through here
  std::vector<char> nameBuffer_;   // the longest entry name minizip can give
  std::vector<char> extraBuffer_;  // the longest extra field
  files::Zip64Record current64_ = files::Zip64Record::kNone;  // of the current entry
  files::Zip64Entry currentLarge_;
};
