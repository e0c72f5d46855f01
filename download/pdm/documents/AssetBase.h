#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "download/pdm/documents/ActionBase.h"
#include "download/pdm/documents/ActionFactory.h"

class XMLParser;

namespace orvel::PackageDownloadManager {

// Asset type codes.
enum AssetTypeCode : uint32_t {
  kAssetBinary = 2,
  kAssetDmg = 3,
  kAssetZip = 4,
};

// The file a package delivers, read from an "asset" element of the manifest: where to fetch it and
// its validation document, its size and the actions to run on it once it is on disk (where it is
// and where it goes are set by setPath). Owns its actions. Used by the manager thread only.
// Failures log under the tag "Asset".
class AssetBase {
 public:
  virtual ~AssetBase() = default;
  AssetBase(const AssetBase&) = delete;
  AssetBase& operator=(const AssetBase&) = delete;

  virtual uint32_t getSequenceNumber() const { return sequenceNumber_; }
  virtual const std::string& getAssetURL() const { return assetURL_; }
  virtual const std::string& getValidationDataURL() const { return validationDataURL_; }
  // Reads URLs (a relative form is put behind the base URL), sequence number, size and actions.
  virtual bool initFromXML(const std::string& xml);
  virtual const std::string& getLocalPath() const { return localPath_; }
  virtual void setPath(const std::string& localPath, const std::string& destination);
  // Runs the actions in sequence order: kActionDone when all are done, kActionInProgress when
  // one asks to be called again (the next call continues with it), kActionFailed when one
  // failed. `type` gets the type code of the last action run, `result` its result.
  virtual uint32_t runActions(uint32_t& type, uint32_t& result);

  void setBaseURL(const std::string& baseURL) { baseURL_ = baseURL; }
  uint64_t getAssetSize() const { return assetSize_; }
  uint32_t getAssetTypeCode() const { return assetTypeCode_; }
  const std::string& getDestination() const { return destination_; }
  size_t getActionCount() const { return actions_.size(); }

 protected:
  explicit AssetBase(uint32_t assetTypeCode) : assetTypeCode_(assetTypeCode) {}

 private:
  bool readURLs(const ::XMLParser& parser);

  uint32_t sequenceNumber_ = 0;
  std::map<uint32_t, std::unique_ptr<ActionBase>> actions_;
  std::map<uint32_t, std::unique_ptr<ActionBase>>::iterator cursor_;
  bool running_ = false;  // a run of the actions is under way; cursor_ is valid
  uint32_t assetTypeCode_;
  std::string baseURL_;
  std::string assetURL_;
  std::string validationDataURL_;
  uint64_t assetSize_ = 0;
  ActionFactory actionFactory_;
  std::string localPath_;
  std::string destination_;
};

// An asset that is used as it arrives.
class BinaryAsset final : public AssetBase {
 public:
  BinaryAsset() : AssetBase(kAssetBinary) {}
};

}  // namespace orvel::PackageDownloadManager
