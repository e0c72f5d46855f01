// A stand-in for hdiutil for tests and the demo. A disk "image" is a folder: attaching it copies
// (mirrors) the folder to the mount point, detaching removes the mount point. State lives in the
// folder WEND_FAKE_HDIUTIL_STATE:
//   calls   every call's arguments, one call per line, tab-separated (for tests to read)
//   mounts  the attached images, one "image<TAB>mount point" per line, image as it was given
// WEND_FAKE_HDIUTIL_FAIL may name "attach", "info" and "detach" to make those calls fail.
// Understands exactly the argument vectors wend uses; anything else exits 2.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Arguments = std::vector<std::string>;

struct Mount {
  std::string image, mountPoint;
};

std::string stateFile(const char* name) {
  const char* folder = std::getenv("WEND_FAKE_HDIUTIL_STATE");
  return std::string(folder && *folder ? folder : ".") + "/" + name;
}

bool failing(const char* verb) {
  const char* fail = std::getenv("WEND_FAKE_HDIUTIL_FAIL");
  return fail && std::string(fail).find(verb) != std::string::npos;
}

void recordCall(const Arguments& arguments) {
  std::ofstream calls(stateFile("calls"), std::ios::app);
  for (size_t i = 0; i < arguments.size(); ++i) calls << (i ? "\t" : "") << arguments[i];
  calls << "\n";
}

std::vector<Mount> readMounts() {
  std::vector<Mount> mounts;
  std::ifstream file(stateFile("mounts"));
  std::string line;
  while (std::getline(file, line)) {
    size_t tab = line.find('\t');
    if (tab != std::string::npos) mounts.push_back({line.substr(0, tab), line.substr(tab + 1)});
  }
  return mounts;
}

void writeMounts(const std::vector<Mount>& mounts) {
  std::ofstream file(stateFile("mounts"), std::ios::trunc);
  for (const Mount& mount : mounts) file << mount.image << "\t" << mount.mountPoint << "\n";
}

bool sameImage(const std::string& a, const std::string& b) {
  return fs::path(a).lexically_normal() == fs::path(b).lexically_normal();
}

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
  }
  return out;
}

int attach(const Arguments& a) {
  const Arguments expected = {"attach",      a[1],        "-noverify", "-noautoopen", "-nobrowse",
                              "-noautofsck", "-readonly", "-quiet",    "-mountpoint", a.back()};
  if (a != expected) return 2;
  std::vector<Mount> mounts = readMounts();
  std::error_code error;
  if (failing("attach") || !fs::is_directory(a[1], error)) {
    std::fprintf(stderr, "hdiutil: attach failed - image not recognized\n");
    return 1;
  }
  for (const Mount& mount : mounts) {
    if (sameImage(mount.image, a[1]) || mount.mountPoint == a.back()) {
      std::fprintf(stderr, "hdiutil: attach failed - Resource busy\n");
      return 1;
    }
  }
  fs::create_directories(a.back(), error);
  fs::copy(a[1], a.back(), fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
  if (error) return 1;
  mounts.push_back({a[1], a.back()});
  writeMounts(mounts);
  return 0;
}

int info() {
  if (failing("info")) return 1;
  std::printf(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
      "<plist version=\"1.0\">\n<dict>\n<key>framework</key><string>fake</string>\n"
      "<key>images</key>\n<array>\n");
  int disk = 2;
  for (const Mount& mount : readMounts()) {
    std::printf(
        "<dict>\n<key>image-path</key><string>%s</string>\n<key>system-entities</key>\n<array>\n"
        "<dict><key>dev-entry</key><string>/dev/disk%d</string></dict>\n"
        "<dict><key>dev-entry</key><string>/dev/disk%ds1</string>"
        "<key>mount-point</key><string>%s</string></dict>\n</array>\n</dict>\n",
        escaped(mount.image).c_str(), disk, disk, escaped(mount.mountPoint).c_str());
    ++disk;
  }
  std::printf("</array>\n</dict>\n</plist>\n");
  return 0;
}

int detach(const std::string& mountPoint) {
  std::vector<Mount> mounts = readMounts();
  for (size_t i = 0; i < mounts.size(); ++i) {
    if (mounts[i].mountPoint != mountPoint || failing("detach")) continue;
    std::error_code error;
    fs::remove_all(mountPoint, error);
    mounts.erase(mounts.begin() + static_cast<long>(i));
    writeMounts(mounts);
    return 0;
  }
  std::fprintf(stderr, "hdiutil: detach failed - No such file or directory\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments(argv + 1, argv + argc);
  recordCall(arguments);
  if (arguments.size() == 10 && arguments[0] == "attach") return attach(arguments);
  if (arguments == Arguments{"info", "-plist"}) return info();
  if (arguments.size() == 3 && arguments[0] == "detach" && arguments[2] == "-quiet") {
    return detach(arguments[1]);
  }
  std::fprintf(stderr, "hdiutil: unexpected arguments\n");
  return 2;
}
