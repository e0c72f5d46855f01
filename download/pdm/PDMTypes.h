#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "download/engine/DLETypes.h"
#include "download/engine/DownloadSettings.h"

// The records that cross the package download manager's boundary: the client's request
// (PDMInitData), the progress and last-error records (PDMProgress, PDMStatus), the client's
// callback (IPdmIntercept), the status words and the error codes.
namespace orvel::PackageDownloadManager {

// Manager status values (bits), also PDMProgress::status.
enum PDMStatusValue : int32_t {
  kStatusPausedOnError = 2,  // a retryable error; the thread idles until cancelled
  kStatusFatal = 4,
  kStatusIdle = 8,  // constructed or cancelled
  kStatusRunning = 16,
  kStatusComplete = 32,
};

// Error codes of PDMStatus::errorCode besides the engine's own types (-4 ... -60), which a
// failed transfer keeps.
enum PDMErrorCode : int32_t {
  kPdmErrorNone = 0,
  kPdmErrorDocument = -3,      // manifest or validation document missing, malformed, inconsistent
  kPdmErrorFileSystem = -190,  // engine types -70, -80, -90, -100
  kPdmErrorAction = -201,      // an action of type code 0 failed, or a state cannot progress
  kPdmErrorTransfer = -210,    // any other engine type
  kPdmErrorSignature = -220,   // the asset's code signature is absent or not the maker's
  kPdmErrorExtraction = -230,  // an extract action failed
};

// Results of the facade's operations.
enum PDMResult : int32_t {
  kPdmOk = 0,
  kPdmFailed = -1,
  kPdmInvalidRequest = -10,
  kPdmNotInitialized = -40,
  kPdmAlreadyRunning = 30,
};

// The workflows: which states run.
enum PDMWorkflow : int32_t {
  kWorkflowPackageByURL = 0,   // manifest fetched from initiatorURL
  kWorkflowSingleFile = 1,     // initiatorURL is the file itself
  kWorkflowPackageByText = 2,  // manifest text in initiatorData
};

// The client's callback interface; see PDMImpl for when and on which thread it runs.
class IPdmIntercept {
 public:
  static constexpr int32_t kEventProgress = 0;  // record: PDMProgress
  static constexpr int32_t kEventStatus = 1;    // record: PDMStatus

  virtual ~IPdmIntercept() = default;
  virtual int32_t onEvent(const int32_t& event, const void* record, uint32_t size) = 0;
};

struct PDMInitData {
  int32_t workflowId = kWorkflowSingleFile;
  std::string baseURL;         // put before the manifest's relative URLs
  std::string initiatorURL;    // workflow 0: the manifest's URL; 1: the file's URL
  std::string initiatorData;   // workflow 2: the manifest text
  std::string operationURL;    // local folder: extraction destination (0) or download folder (1, 2)
  std::string targetFileName;  // empty: the last path element of the asset URL
  uint8_t reservedFlag = 1;
  uint8_t validateSignature = 1;       // workflow 1: check the file's code signature
  IPdmIntercept* intercept = nullptr;  // not owned; outlives the facade
  gde::DLEPrefStruct preferences;      // proxy user and password in prefText1 and prefText2
};

struct PDMProgress {
  int32_t percent = -1;  // 0..100, weighted over the states
  uint64_t assetSize = 0;
  int32_t status = kStatusIdle;
};

struct PDMStatus {
  PDMStatus() = default;
  PDMStatus(int32_t code, uint8_t retry, std::string tag)
      : errorCode(code), retryable(retry), errorTag(std::move(tag)) {}

  int32_t errorCode = kPdmErrorNone;
  uint8_t retryable = 1;
  std::string errorTag;  // "P:<code>[,PS:<extended code>,G:<engine type>]"
  std::string errorURL;  // transfer errors: the URL being fetched
};

// The manager's waits, with the product's values as defaults; tests pass shorter ones.
struct PDMSettings {
  std::chrono::milliseconds tick{100};  // between two steps of the manager thread
  gde::DownloadSettings engine = gde::DownloadSettings::fromEnvironment();
};

}  // namespace orvel::PackageDownloadManager
