#pragma once

#include <cstdint>
#include <string>

namespace gde {

// A user's disk quota on one volume, in bytes.
struct QuotaRecord {
  uint64_t softLimitBytes = 0;
  uint64_t hardLimitBytes = 0;
  uint64_t currentBytes = 0;
};

enum class QuotaState : int {
  kError = -1,  // the quota could not be read
  kOff = 0,     // the volume keeps no quota for users
  kOn = 1,      // the record was filled
};

// What the engine asks the system about space on a volume. Production uses systemDiskSpaceProbe;
// tests pass a fake. Implementations keep no state and may be called from any thread.
class DiskSpaceProbe {
 public:
  virtual ~DiskSpaceProbe() = default;
  // True when quotas do not bind this process (effective or real user id 0).
  virtual bool isSuperUser() const = 0;
  // The effective user's quota on the volume holding `path`.
  virtual QuotaState readUserQuota(const std::string& path, QuotaRecord& out) const = 0;
  // Bytes an unprivileged writer may still use on the volume holding `path`.
  virtual bool readFreeBytes(const std::string& path, uint64_t& out) const = 0;
};

// Linux: quotactl_fd(Q_GETINFO, Q_GETQUOTA) for user quotas, where the kernel or the file system
// has no quota support the quota counts as off; statvfs for the free space.
const DiskSpaceProbe& systemDiskSpaceProbe();

}  // namespace gde
