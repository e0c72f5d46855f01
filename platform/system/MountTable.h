#pragma once

#include <string>
#include <vector>

// The mounted file systems as the kernel lists them for this process (/proc/self/mountinfo), with
// the octal escapes of mount points and sources ("\040" for a space) decoded. Stateless; callable
// from any thread. Tests hand their own table through the interface or read a fixture file.
namespace platform {

struct MountEntry {
  std::string mountPoint;  // absolute, as seen from this process's root
  std::string source;      // the device or source the file system came from ("/dev/vda1", "tmpfs")
  std::string fsType;      // "ext4", "tmpfs", "proc", ...

  friend bool operator==(const MountEntry&, const MountEntry&) = default;
};

class MountTable {
 public:
  virtual ~MountTable() = default;
  // Every mount in the kernel's order (a later mount on the same point hides an earlier one).
  // False, `out` unchanged, when the table cannot be read.
  virtual bool entries(std::vector<MountEntry>& out) const = 0;

  // The running process's own table.
  static const MountTable& system();
};

// A table read from a file in mountinfo format. Lines that do not have the format are skipped; the
// file is read only up to 16 MiB.
class MountInfoFile final : public MountTable {
 public:
  explicit MountInfoFile(std::string path) : path_(std::move(path)) {}
  bool entries(std::vector<MountEntry>& out) const override;

 private:
  std::string path_;
};

// The entries of mountinfo text, malformed lines skipped.
std::vector<MountEntry> parseMountInfo(const std::string& text);

}  // namespace platform
