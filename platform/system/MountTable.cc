#include "platform/system/MountTable.h"

#include <fcntl.h>
#include <unistd.h>

#include <sstream>

#include "platform/UniqueFd.h"

namespace platform {
namespace {

constexpr size_t kMaxTableBytes = 16u << 20;

bool isOctal(char c) {
  return c >= '0' && c <= '7';
}

// The kernel escapes space, tab, newline and backslash as a backslash and three octal digits; any
// other backslash stands for itself.
std::string unescaped(const std::string& field) {
  std::string text;
  text.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) &&
        isOctal(field[i + 2]) && isOctal(field[i + 3])) {
      int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
      if (value <= 0xFF) {
        text.push_back(static_cast<char>(value));
        i += 3;
        continue;
      }
    }
    text.push_back(field[i]);
  }
  return text;
}

std::vector<std::string> fieldsOf(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream stream(line);
  for (std::string field; stream >> field;) fields.push_back(field);
  return fields;
}

// "id parent major:minor root mountpoint options [optional...] - fstype source superoptions"
bool parseLine(const std::string& line, MountEntry& out) {
  std::vector<std::string> fields = fieldsOf(line);
  constexpr size_t kMountPoint = 4, kFirstOptional = 6;
  if (fields.size() < kFirstOptional + 3) return false;
  size_t separator = kFirstOptional;
  while (separator < fields.size() && fields[separator] != "-") ++separator;
  if (separator + 2 >= fields.size()) return false;
  std::string mountPoint = unescaped(fields[kMountPoint]);
  if (mountPoint.empty() || mountPoint[0] != '/') return false;
  out.mountPoint = std::move(mountPoint);
  out.fsType = unescaped(fields[separator + 1]);
  out.source = unescaped(fields[separator + 2]);
  return true;
}

// /proc files report no size, so the file is read until its end.
bool readBounded(const std::string& path, std::string& out) {
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return false;
  std::string text;
  char buffer[65536];
  for (;;) {
    ssize_t count = read(fd.get(), buffer, sizeof buffer);
    if (count < 0) return false;
    if (count == 0) break;
    if (text.size() + static_cast<size_t>(count) > kMaxTableBytes) return false;
    text.append(buffer, static_cast<size_t>(count));
  }
  out = std::move(text);
  return true;
}

}  // namespace

std::vector<MountEntry> parseMountInfo(const std::string& text) {
  std::vector<MountEntry> entries;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    MountEntry entry;
    if (parseLine(line, entry)) entries.push_back(std::move(entry));
  }
  return entries;
}

bool MountInfoFile::entries(std::vector<MountEntry>& out) const {
  std::string text;
  if (!readBounded(path_, text)) return false;
  out = parseMountInfo(text);
  return true;
}

const MountTable& MountTable::system() {
  static const MountInfoFile table("/proc/self/mountinfo");
  return table;
}

}  // namespace platform
