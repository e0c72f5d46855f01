#include "foundation/files/UnzipHandler.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unzip.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "foundation/files/AppleDouble.h"
#include "foundation/files/ZipEntryName.h"
#include "foundation/logging/UtilsLog.h"

using platform::UniqueFd;

namespace {

constexpr size_t kPieceSize = 65536;
constexpr size_t kLongestName = 65535;  // the name length field has 16 bits
constexpr size_t kLongestComment = 255;
constexpr size_t kLongestLinkTarget = 4095;  // PATH_MAX less the NUL; longer ones cannot be made
constexpr uint32_t kTypeMask = 0xF000;
constexpr uint32_t kLinkType = 0xA000;
const std::string kAppleDoublePrefix = "__MACOSX/";

unzFile zip(void* archive) {
  return static_cast<unzFile>(archive);
}

std::string joined(const std::string& folder, const std::vector<std::string>& parts) {
  std::string path = folder;
  for (const std::string& part : parts) {
    if (!path.empty() && path.back() != '/') path += '/';
    path += part;
  }
  return path;
}

bool writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t put = write(fd, data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data += put;
    size -= static_cast<size_t>(put);
  }
  return true;
}

bool appliesMode(uint32_t mode) {
  return mode != 0 && mode != UnzipHandler::kEntryMode;
}

// The permission bits an entry may set (`allowed` cuts them first). Root would otherwise hand
// set-id programs and files anyone may change to whoever made the archive; a folder keeps its
// sticky bit, so it never ends up writable by all without it.
mode_t permittedMode(uint32_t mode, mode_t allowed) {
  mode_t bits = static_cast<mode_t>(mode) & allowed;
  if (geteuid() == 0) bits &= static_cast<mode_t>(~(S_ISUID | S_ISGID | S_IWOTH));
  return bits;
}

}  // namespace

struct UnzipHandler::Entry {
  CurrentFileInfo info;
  std::string destination;
  std::string name;                // after junking of paths
  std::vector<std::string> parts;  // of `name`; for an AppleDouble entry, of the file it describes
  std::string fullPath;            // destination and parts
  uint32_t mode = 0;               // effective
  files::Zip64Record zip64 = files::Zip64Record::kNone;
  files::Zip64Entry large;  // where zip64 is kFound
};

UnzipHandler::UnzipHandler(const char* archivePath, pando::AbstractLogger* logger,
                           files::UnzipSettings settings)
    : settings_(std::move(settings)),
      logger_(logger),
      folder_(settings_, logger),
      buffer_(kPieceSize),
      nameBuffer_(kLongestName + 1),
      extraBuffer_(kLongestName) {
  if (archivePath) open(archivePath);
}

UnzipHandler::~UnzipHandler() {
  close();
  linkMap_.clear();
}

void UnzipHandler::close() {
  if (!archive_) return;
  unzCloseCurrentFile(zip(archive_));
  unzClose(zip(archive_));
  archive_ = nullptr;
  archiveFd_.reset();
}

bool UnzipHandler::open(const char* archivePath) {
  close();
  if (!archivePath) return false;
  archive_ = unzOpen64(archivePath);
  if (!archive_) {
    pando::utilsLog(logger_, pando::kLogError, "UnzipHandler", "Failed to open the archive %s",
                    archivePath);
    return false;
  }
  archiveFd_.reset(::open(archivePath, O_RDONLY | O_CLOEXEC));
  defaultDestination_ = archivePath;
  const std::string::size_type dot = defaultDestination_.rfind('.');
  const std::string::size_type slash = defaultDestination_.rfind('/');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    defaultDestination_.resize(dot);
  }
  return true;
}

bool UnzipHandler::extract(const char* archivePath, const char* destination, bool junkPaths,
                           uint32_t mode) {
  close();
  if (!open(archivePath)) return false;
  const bool extracted = extractAll(destination, junkPaths, mode);
  close();
  return extracted;
}

bool UnzipHandler::extractAll(const char* destination, bool junkPaths, uint32_t mode) {
  if (!archive_) return false;
  // The folder is opened afresh, so a folder replaced since the last extraction is not reused.
  if (!destination || !CreateFilePath(destination) || !folder_.open(destination)) {
    pando::utilsLog(logger_, pando::kLogError, "UnzipHandler", "Folder creation failed: %s",
                    destination ? destination : "");
    return false;
  }
  unz_global_info64 global;
  if (unzGetGlobalInfo64(zip(archive_), &global) != UNZ_OK || global.number_entry == 0) {
    pando::utilsLog(logger_, pando::kLogError, "UnzipHandler", "Failed to get file count.");
    return false;
  }
  if (unzGoToFirstFile(zip(archive_)) != UNZ_OK) {
    pando::utilsLog(logger_, pando::kLogError, "UnzipHandler", "Failed to go to First File.");
    return false;
  }
  linkMap_.clear();
  named_.clear();
  while (true) {
    if (!extractCurrentFile(destination, junkPaths, mode)) return false;
    const int next = unzGoToNextFile(zip(archive_));
    if (next == UNZ_END_OF_LIST_OF_FILE) break;
    if (next != UNZ_OK) {
      // A damaged central directory must not pass for the end of the archive.
      pando::utilsLog(logger_, pando::kLogError, "UnzipHandler",
                      "Failed to go to the next entry: minizip error %d", next);
      return false;
    }
  }
  return createLinks();
}

bool UnzipHandler::getCurrentFileInfo(CurrentFileInfo& info) {
  info = CurrentFileInfo();
  if (!archive_) return false;
  unz_file_info64 raw;
  char comment[kLongestComment + 1];
  if (unzGetCurrentFileInfo64(zip(archive_), &raw, nameBuffer_.data(), nameBuffer_.size(),
                              extraBuffer_.data(), extraBuffer_.size(), comment,
                              kLongestComment) != UNZ_OK) {
    return false;
  }
  const std::string extra(extraBuffer_.data(), std::min<size_t>(raw.size_file_extra, kLongestName));
  current64_ =
      files::findZip64Entry(archiveFd_.get(), unzGetOffset64(zip(archive_)), extra, currentLarge_);
  if (current64_ == files::Zip64Record::kDamaged) return false;
  if (current64_ == files::Zip64Record::kFound) {
    raw.compressed_size = currentLarge_.compressedSize;
    raw.uncompressed_size = currentLarge_.uncompressedSize;
  }
  info.name = files::zipSlashName(
      std::string(nameBuffer_.data(), std::min<size_t>(raw.size_filename, kLongestName)));
  info.comment.assign(comment, std::min<size_t>(raw.size_file_comment, kLongestComment));
  info.version = static_cast<uint32_t>(raw.version);
  info.versionNeeded = static_cast<uint32_t>(raw.version_needed);
  info.flag = static_cast<uint32_t>(raw.flag);
  info.compressionMethod = static_cast<uint32_t>(raw.compression_method);
  info.dosDate = static_cast<uint32_t>(raw.dosDate);
  info.crc = static_cast<uint32_t>(raw.crc);
  info.compressedSize = raw.compressed_size;
  info.uncompressedSize = raw.uncompressed_size;
  info.internalAttributes = static_cast<uint32_t>(raw.internal_fa);
  info.entryMode = static_cast<uint32_t>(raw.external_fa >> 16) & 0xFFFF;
  info.isFolder = !info.name.empty() && info.name.back() == '/';
  return true;
}

bool UnzipHandler::CreateFilePath(const char* path) {
  if (!path || !*path) return false;
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return createFolderChain(folder);
}

bool UnzipHandler::createFolderChain(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  const std::string::size_type slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0 && !createFolderChain(path.substr(0, slash))) {
    return false;
  }
  auto attempt = [&] {
    if (mkdir(path.c_str(), 0775) == 0) return true;
    // Made by someone else meanwhile: fine when it is a folder.
    return errno == EEXIST && lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  };
  return files::retryWithLog(settings_, logger_, files::RetryKind::kFolder, path, attempt);
}

bool UnzipHandler::extractCurrentFile(const char* destination, bool junkPaths, uint32_t mode) {
  if (!archive_) return false;
  Entry entry;
  if (!prepareEntry(destination, junkPaths, mode, entry)) return false;
  if ((entry.info.entryMode & kTypeMask) == kLinkType) return extractLink(entry);
  const std::string::size_type slash = entry.name.rfind('/');
  const std::string last = slash == std::string::npos ? entry.name : entry.name.substr(slash + 1);
  if (entry.name.starts_with(kAppleDoublePrefix) && last.size() >= 3 && last.starts_with("._")) {
    return extractAppleDouble(entry);
  }
  return extractPlain(entry);
}

bool UnzipHandler::prepareEntry(const char* destination, bool junkPaths, uint32_t mode,
                                Entry& entry) {
  entry.destination = destination ? destination : defaultDestination_;
  if (!CreateFilePath(entry.destination.c_str())) {
    pando::utilsLog(logger_, pando::kLogError, "UnzipHandler",
                    "Failed to create destinationFolder '%s'.  %s", entry.destination.c_str(),
                    files::currentErrorText().c_str());
    return false;
  }
  if ((folder_.path() != entry.destination || entry.destination.empty()) &&
      !folder_.open(entry.destination)) {
    pando::utilsLog(logger_, pando::kLogError, "UnzipHandler",
                    "Failed to create destinationFolder '%s'.  %s", entry.destination.c_str(),
                    files::currentErrorText().c_str());
    return false;
  }
  if (!getCurrentFileInfo(entry.info)) {
    pando::utilsLog(logger_, pando::kLogError, "UnzipHandler", "Failed to read the entry record.");
    return false;
  }
  entry.zip64 = current64_;
  entry.large = currentLarge_;
  // The whole name is checked, also where junking would drop the hostile part.
  if (!files::zipNameParts(entry.info.name, entry.parts)) {
    pando::utilsLog(logger_, pando::kLogError, "UnzipHandler", "Unsafe entry name refused: %s",
                    entry.info.name.c_str());
    return false;
  }
  entry.name = entry.info.name;
  if (junkPaths) entry.name = entry.name.substr(entry.name.rfind('/') + 1);
  files::zipNameParts(entry.name, entry.parts);
  entry.fullPath = joined(entry.destination, entry.parts);
  entry.mode = mode != kEntryMode ? mode : entry.info.entryMode;
  if (entry.parts.empty() && !entry.info.isFolder) {
    pando::utilsLog(logger_, pando::kLogError, "UnzipHandler", "Unsafe entry name refused: %s",
                    entry.info.name.c_str());
    return false;
  }
  if (!entry.info.isFolder && !entry.name.starts_with(kAppleDoublePrefix) &&
      !named_.insert(entry.fullPath).second) {
    pando::utilsLog(logger_, pando::kLogError, "UnzipHandler", "Entry named twice refused: %s",
                    entry.info.name.c_str());
    return false;
  }
  return true;
}

// Links are made last, so a file entry below a recorded link would land in a folder where the
// archive puts a link: the archive tries to write through its own link.
bool UnzipHandler::underRecordedLink(const Entry& entry) const {
  if (linkMap_.empty()) return false;
  std::string path = entry.destination;
  for (size_t i = 0; i + 1 < entry.parts.size(); ++i) {
    if (!path.empty() && path.back() != '/') path += '/';
    path += entry.parts[i];
    if (linkMap_.count(path)) {
      pando::utilsLog(logger_, pando::kLogError, "UnzipHandler",
                      "Entry below a link of the archive refused: %s", entry.fullPath.c_str());
      return true;
    }
  }
  return false;
}

bool UnzipHandler::extractLink(Entry& entry) {
  if (underRecordedLink(entry)) return false;
  if (folder_.folder(entry.parts, entry.parts.size() - 1) < 0) {
    pando::utilsLog(logger_, pando::kLogError, "UnzipHandler", "Failed to CreateFilePath: %s",
                    entry.fullPath.c_str());
    return false;
  }
  std::string target;
  auto collect = [&](const char* data, size_t size) {
    target.append(data, strnlen(data, size));
    if (target.size() <= kLongestLinkTarget) return true;
    pando::utilsLog(logger_, pando::kLogError, "UnzipHandler",
                    "Link target of %s is longer than %zu bytes", entry.fullPath.c_str(),
                    kLongestLinkTarget);
    return false;
  };
  if (!readEntry(entry, collect)) return false;
  linkMap_.emplace(entry.fullPath, FileInfo{target, entry.name, entry.mode, entry.destination});
  return true;
}

bool UnzipHandler::extractAppleDouble(Entry& entry) {
  // "__MACOSX/dir/._name" describes "dir/name".
  std::string described = entry.name.substr(kAppleDoublePrefix.size());
  const std::string::size_type slash = described.rfind('/');
  described.erase(slash == std::string::npos ? 0 : slash + 1, 2);
  if (!files::zipNameParts(described, entry.parts) || entry.parts.empty()) {
    pando::utilsLog(logger_, pando::kLogError, "UnzipHandler", "Unsafe entry name refused: %s",
                    entry.info.name.c_str());
    return false;
  }
  entry.fullPath = joined(entry.destination, entry.parts);
  if (underRecordedLink(entry)) return false;
  const int folderFd = folder_.folder(entry.parts, entry.parts.size() - 1);
  if (folderFd < 0) {
    pando::utilsLog(logger_, pando::kLogError, "UnzipHandler", "Failed to CreateFilePath: %s. %s",
                    entry.fullPath.c_str(), files::currentErrorText().c_str());
    return false;
  }
  if (linkMap_.count(entry.fullPath)) {
    // Linux keeps no user attributes on links.
    pando::utilsLog(logger_, pando::kLogWarn, "UnzipHandler",
                    "AppleDouble data of the link %s left out", entry.fullPath.c_str());
    return readEntry(entry, [](const char*, size_t) { return true; });
  }
  UniqueFd target = folder_.touchFile(folderFd, entry.parts.back());
  if (!target.valid() && errno == ELOOP) {
    // A link already in the destination: neither followed nor replaced.
    pando::utilsLog(logger_, pando::kLogWarn, "UnzipHandler",
                    "AppleDouble data of the link %s left out", entry.fullPath.c_str());
    return readEntry(entry, [](const char*, size_t) { return true; });
  }
  if (!target.valid()) {
    pando::utilsLog(logger_, pando::kLogError, "UnzipHandler",
                    "Failed to open file : %s with code %s", entry.fullPath.c_str(),
                    files::currentErrorText().c_str());
    return false;
  }
  std::string temporary = settings_.temporaryTemplate;
  UniqueFd data(mkostemp(temporary.data(), O_CLOEXEC));
  if (!data.valid()) {
    pando::utilsLog(logger_, pando::kLogError, "UnzipHandler", "Failed to create temp file: %s",
                    settings_.temporaryTemplate.c_str());
    return false;
  }
  // Only the descriptor is used from here on, so the name can go at once and never stays behind.
  unlink(temporary.c_str());
  auto store = [&](const char* bytes, size_t size) { return writeAll(data.get(), bytes, size); };
  return readEntry(entry, store) &&
         files::mergeAppleDouble(data.get(), target.get(), entry.fullPath.c_str(), logger_);
}

bool UnzipHandler::extractPlain(Entry& entry) {
  if (underRecordedLink(entry)) return false;
  const size_t folders = entry.info.isFolder ? entry.parts.size() : entry.parts.size() - 1;
  const int folderFd = folder_.folder(entry.parts, folders);
  if (folderFd < 0) {
    pando::utilsLog(logger_, pando::kLogError, "UnzipHandler", "Failed to CreateFilePath: %s. %s",
                    entry.fullPath.c_str(), files::currentErrorText().c_str());
    return false;
  }
  if (entry.info.isFolder) {
    if (appliesMode(entry.mode)) fchmod(folderFd, permittedMode(entry.mode, 01777));
    return true;
  }
  if (entry.name.starts_with(kAppleDoublePrefix)) {
    // Other macOS bookkeeping: read (so that a damaged entry still fails) but not kept.
    return readEntry(entry, [](const char*, size_t) { return true; });
  }
  return writeFile(entry, folderFd, entry.parts.back());
}

bool UnzipHandler::writeFile(Entry& entry, int folderFd, const std::string& name) {
  UniqueFd file = folder_.createFile(folderFd, name, entry.fullPath);
  if (!file.valid()) return false;
  auto store = [&](const char* data, size_t size) {
    if (writeAll(file.get(), data, size)) return true;
    pando::utilsLog(logger_, pando::kLogError, "UnzipHandler", "Failed to write %s: %s",
                    entry.fullPath.c_str(), files::currentErrorText().c_str());
    return false;
  };
  bool written = readEntry(entry, store);
  // All the bits the archive gives, set-id and sticky included, but for what root must not apply.
  if (written && appliesMode(entry.mode)) fchmod(file.get(), permittedMode(entry.mode, 07777));
  if (::close(file.release()) != 0 && written) {
    pando::utilsLog(logger_, pando::kLogError, "UnzipHandler", "Failed to close %s: %s",
                    entry.fullPath.c_str(), files::currentErrorText().c_str());
    written = false;
  }
  return written;
}

bool UnzipHandler::readEntry(const Entry& entry,
                             const std::function<bool(const char*, size_t)>& sink) {
  if (entry.zip64 == files::Zip64Record::kFound) {
    std::string problem;
    if (files::readZip64Entry(archiveFd_.get(), entry.large, entry.info.compressionMethod,
                              entry.info.crc, sink, problem)) {
      return true;
    }
    if (!problem.empty()) {
      pando::utilsLog(logger_, pando::kLogError, "UnzipHandler", "Damaged entry %s: %s",
                      entry.fullPath.c_str(), problem.c_str());
    }
    return false;
  }
  if (unzOpenCurrentFilePassword(zip(archive_), nullptr) != UNZ_OK) {
    pando::utilsLog(logger_, pando::kLogError, "UnzipHandler",
                    "Failed to unzOpenCurrentFilePassword: %s", entry.fullPath.c_str());
    return false;
  }
  uint64_t total = 0;
  int got = 0;
  while ((got = unzReadCurrentFile(zip(archive_), buffer_.data(),
                                   static_cast<unsigned>(buffer_.size()))) > 0) {
    total += static_cast<uint64_t>(got);
    if (!sink(buffer_.data(), static_cast<size_t>(got))) break;
  }
  const int closed = unzCloseCurrentFile(zip(archive_));
  if (got > 0) return false;  // the sink refused and logged
  if (got < 0 || closed != UNZ_OK || total != entry.info.uncompressedSize) {
    // minizip checks the CRC only when the data end at the declared size, so a stream that ends
    // early would otherwise pass.
    pando::utilsLog(logger_, pando::kLogError, "UnzipHandler",
                    "Damaged entry %s: read %d, close %d, %llu of %llu bytes",
                    entry.fullPath.c_str(), got, closed, static_cast<unsigned long long>(total),
                    static_cast<unsigned long long>(entry.info.uncompressedSize));
    return false;
  }
  return true;
}

bool UnzipHandler::createLinks() {
  bool created = true;
  for (const auto& [path, link] : linkMap_) {
    std::vector<std::string> parts;
    files::zipNameParts(link.entryName, parts);
    int folderFd = -1;
    if ((folder_.path() == link.destination || folder_.open(link.destination)) && !parts.empty()) {
      folderFd = folder_.folder(parts, parts.size() - 1);
    }
    // Linux links carry no permissions of their own, and chmod would reach the link's target, so
    // the recorded mode is not applied.
    if (folderFd < 0 || !files::UnzipFolder::createLink(folderFd, parts.back(), link.linkTarget)) {
      pando::utilsLog(logger_, pando::kLogError, "UnzipHandler", "Failed to create link %s: %s",
                      path.c_str(), files::currentErrorText().c_str());
      created = false;
      break;
    }
  }
  linkMap_.clear();
  return created;
}
