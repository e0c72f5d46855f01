#pragma once

#include <string>

#include "download/engine/files/DiskSpaceProbe.h"

// Answers the space questions from fields a test sets.
class FakeDiskSpaceProbe final : public gde::DiskSpaceProbe {
 public:
  bool superUser = false;
  gde::QuotaState quotaState = gde::QuotaState::kOff;
  gde::QuotaRecord quota;
  bool freeKnown = true;
  uint64_t freeBytes = 1ull << 40;

  bool isSuperUser() const override { return superUser; }
  gde::QuotaState readUserQuota(const std::string&, gde::QuotaRecord& out) const override {
    out = quota;
    return quotaState;
  }
  bool readFreeBytes(const std::string&, uint64_t& out) const override {
    out = freeBytes;
    return freeKnown;
  }
};
