#include "core/install/PiiNoticeState.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "foundation/logging/LogCallback.h"
#include "foundation/files/FileUtils.h"
#include "foundation/files/TreeRemoval.h"
#include "foundation/text/StringUtils.h"
#include "foundation/xml/XMLParser.h"
#include "platform/UniqueFd.h"
#include "platform/files/AtomicFile.h"
#include "platform/files/FileContents.h"
#include "platform/files/FolderChain.h"
#include "platform/system/ConsoleUser.h"

namespace {

constexpr char kComponent[] = "WorkflowManager";
constexpr int kApplicationSupportFolder = 12;
constexpr char kFolderChain[] = "Orvel/PII";
constexpr char kFileName[] = "com.orvel.pii.prefs";
constexpr char kTemplate[] =
    "<prefs><property key=\"piiNoticeShown\">YES</property><property "
    "key=\"piiNoticeVersion\">1.0</property><property key=\"timestamp\">{0}</property></prefs>";
constexpr size_t kMaxFileBytes = 64 * 1024;

bool applicationSupport(std::string& folder) {
  return FileUtils::getSpecialFolderPath(kApplicationSupportFolder, folder);
}

// Clears the file's name of what must not be read or replaced: a link goes, never followed, and
// so does a real folder with its contents. True when the name is then free or holds a regular file.
bool clearName(int folder) {
  struct stat status {};
  if (fstatat(folder, kFileName, &status, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
  if (S_ISREG(status.st_mode)) return true;
  int error = 0;
  if (S_ISDIR(status.st_mode)) return files::removeEntryAt(folder, kFileName, error);
  return unlinkat(folder, kFileName, 0) == 0;
}

std::string localTimeText(int64_t milliseconds) {
  const time_t seconds = static_cast<time_t>(milliseconds / 1000);
  struct tm local {};
  char text[32] = "";
  if (localtime_r(&seconds, &local)) strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

}  // namespace

PiiNoticeState::PiiNoticeState(const pando::WallClock& clock) : clock_(clock) {}

bool PiiNoticeState::preferencesPath(std::string& path) {
  std::string folder;
  if (!applicationSupport(folder)) return false;
  path = folder + "/" + kFolderChain + "/" + kFileName;
  return true;
}

std::string PiiNoticeState::preferencesText(const std::string& timestamp) {
  std::string text = kTemplate;
  StringUtils::utilReplaceAll(text, "{0}", timestamp);
  return text;
}

bool PiiNoticeState::isPiiNoticeAlreadyShown() const {
  std::string base;
  if (!applicationSupport(base)) return false;
  const platform::UniqueFd folder = platform::openFolderChain(base, kFolderChain);
  if (!folder.valid()) return false;
  struct stat status {};
  if (fstatat(folder.get(), kFileName, &status, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (S_ISLNK(status.st_mode) || S_ISDIR(status.st_mode)) clearName(folder.get());
  if (!S_ISREG(status.st_mode)) return false;
  std::string text;
  std::string error;
  if (!platform::readRegularFile(platform::pathInOpenFolder(folder.get(), kFileName), kMaxFileBytes,
                                 text, error))
    return false;
  XMLParser parser;
  std::string shown;
  return parser.initWithXMLString(text) &&
         parser.stringValueForXQuery("/prefs/property[@key='piiNoticeShown']", shown) &&
         strcasecmp(shown.c_str(), "YES") == 0;
}

void PiiNoticeState::savePiiNoticeShown() const {
  std::string base;
  std::string path;
  if (!preferencesPath(path) || !applicationSupport(base)) {
    LogCallback(pando::kLogError, kBootstrapperModule, kComponent, "", "",
                "Save PII failed - File: %s", path.c_str());
    return;
  }
  platform::ConsoleUser user;
  if (!platform::findConsoleUser(user)) {
    user.uid = geteuid();
    user.gid = getegid();
  }
  bool saved = false;
  if (platform::createFoldersFor(base, kFolderChain, user.uid, user.gid, 0700)) {
    const platform::UniqueFd folder = platform::openFolderChain(base, kFolderChain);
    saved =
        folder.valid() && clearName(folder.get()) &&
        platform::replaceFileAtomically(platform::pathInOpenFolder(folder.get(), kFileName),
                                        preferencesText(localTimeText(clock_.nowMs())),
                                        platform::AtomicFileOwnership{0644, user.uid, user.gid});
  }
  if (!saved) {
    LogCallback(pando::kLogError, kBootstrapperModule, kComponent, "", "",
                "Save PII failed - File: %s", path.c_str());
  }
}
