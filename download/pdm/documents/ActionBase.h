#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace orvel::PackageDownloadManager {

class AssetBase;

// Results of ActionBase::execute and AssetBase::runActions.
enum ActionResult : uint32_t {
  kActionDone = 0,
  kActionInProgress = 1,
  kActionFailed = 2,
};

// One step to run on a downloaded asset, read from an "action" element of the manifest: its
// sequence number orders the asset's actions; its key/value data travels with it. Owned by its
// asset and run on the manager thread. Failures log under the tag "Action".
class ActionBase {
 public:
  virtual ~ActionBase() = default;
  ActionBase(const ActionBase&) = delete;
  ActionBase& operator=(const ActionBase&) = delete;

  // Reads the sequence number (required, non-zero) and the data pairs.
  virtual bool initFromXML(const std::string& xml);
  // kActionDone, kActionInProgress (call again later) or kActionFailed.
  virtual uint32_t execute(AssetBase* asset) = 0;
  virtual uint32_t getResult() const { return result_; }
  virtual uint32_t getSequenceNumber() const { return sequenceNumber_; }
  uint32_t getActionTypeCode() const { return actionTypeCode_; }
  const std::map<std::string, std::string>& getData() const { return data_; }

 protected:
  explicit ActionBase(uint32_t actionTypeCode) : actionTypeCode_(actionTypeCode) {}

 private:
  uint32_t sequenceNumber_ = 0;
  std::map<std::string, std::string> data_;
  uint32_t result_ = 0;
  uint32_t actionTypeCode_;
};

}  // namespace orvel::PackageDownloadManager
