#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/TemporaryFolder.h"

namespace wendtest {

// Paths where a whole-file reader must fail at once instead of hanging or filling memory: a FIFO
// no one writes to, an endless device, a folder, and a sparse regular file of `oversize` bytes
// (costs no disk).
class HostileFiles {
 public:
  explicit HostileFiles(uint64_t oversize) {
    mkfifo(fifo().c_str(), 0600);
    writeFile(oversized(), "x");
    if (truncate(oversized().c_str(), static_cast<off_t>(oversize)) != 0)
      unlink(oversized().c_str());
  }
  std::string fifo() const { return folder_ / "fifo"; }
  std::string oversized() const { return folder_ / "oversized"; }
  std::vector<std::string> all() const {
    return {fifo(), "/dev/zero", folder_.path(), oversized()};
  }

 private:
  TemporaryFolder folder_;
};

}  // namespace wendtest
