#include "download/pdm/PDMImpl.h"

#include <sys/stat.h>

#include "download/pdm/common/PDMLogger.h"
#include "download/pdm/documents/DocumentText.h"
#include "foundation/files/FileUtils.h"
#include "foundation/files/RunFolders.h"
#include "foundation/text/StringUtils.h"

namespace orvel::PackageDownloadManager {
namespace {

constexpr int32_t kTemporaryFolderId = 15;
constexpr int32_t kEndedBits = kStatusFatal | kStatusIdle | kStatusComplete;

bool hasEnded(int32_t status) {
  return (status & kEndedBits) != 0;
}

// The share of the whole run that a state weighs, in percent.
int32_t weightOf(int32_t workflow, int32_t state) {
  struct Weight {
    int32_t workflow, state, weight;
  };
  static constexpr Weight kWeights[] = {
      {kWorkflowPackageByURL, DOWNLOAD_ASSET_MANIFEST, 5},
      {kWorkflowPackageByURL, DOWNLOAD_ASSET_VALIDATION, 5},
      {kWorkflowPackageByURL, DOWNLOAD_ASSET, 70},
      {kWorkflowPackageByURL, EXECUTE_ASSET, 20},
      {kWorkflowSingleFile, DOWNLOAD_ASSET, 100},
      {kWorkflowPackageByText, DOWNLOAD_ASSET_VALIDATION, 5},
      {kWorkflowPackageByText, DOWNLOAD_ASSET, 95},
  };
  for (const Weight& entry : kWeights) {
    if (entry.workflow == workflow && entry.state == state) return entry.weight;
  }
  return 0;
}

// The transfer's engine error type as the manager's code.
int32_t codeForEngineError(int32_t type) {
  switch (type) {
    case -4:
    case -8:
    case -10:
    case -15:
    case -20:
    case -30:
    case -45:
    case -50:
    case -60:
      return type;
    case -70:
    case -80:
    case -90:
    case -100:
      return kPdmErrorFileSystem;
    default:
      return kPdmErrorTransfer;
  }
}

// "label:number" in front of the tag, with a "," when the tag is not empty.
std::string labelled(const char* label, int32_t number, const std::string& tag) {
  std::string text = std::string(label) + ":" + std::to_string(number);
  return tag.empty() ? text : text + "," + tag;
}

bool isFolder(const std::string& path) {
  bool isDirectory = false;
  return FileUtils::fileExistsAtPathIsDirectory(path, isDirectory) && isDirectory;
}

bool validateInitData(const PDMInitData& request) {
  const char* failure = nullptr;
  if (request.initiatorURL.empty() && request.workflowId != kWorkflowPackageByText) {
    failure = "Failed to Init PDM instance as the initiator URL is empty";
  } else if (request.operationURL.empty()) {
    failure = "Failed to Init PDM instance as the operation URL is empty";
  } else if (request.workflowId == kWorkflowPackageByText && request.initiatorData.empty()) {
    failure = "Failed to Init PDM instance as the initiator data is empty";
  }
  if (failure == nullptr) return true;
  pdmLog(pando::kLogError, kPdmTag, "%s", failure);
  return false;
}

}  // namespace

PDMImpl::PDMImpl(const PDMSettings& settings)
    : settings_(settings), cursor_(&generator_), fileDownloader_(settings.engine) {}

PDMImpl::~PDMImpl() {
  cancel();
  pdmLog(pando::kLogTrace, kPdmTag, "Workflow closed, waiting for manager thread.");
  std::lock_guard control(controlMutex_);
  joinManagerThread();
}

int32_t PDMImpl::init(const PDMInitData& request) {
  std::lock_guard control(controlMutex_);
  if (!validateInitData(request)) return kPdmInvalidRequest;
  pando::ScopedLock lock(&lock_);
  context_.request = request;
  context_.initialized = true;
  return kPdmOk;
}

int32_t PDMImpl::start() {
  std::lock_guard control(controlMutex_);
  {
    pando::ScopedLock lock(&lock_);
    if (!context_.initialized) return kPdmNotInitialized;
    if (!hasEnded(status_.load())) {
      pdmLog(pando::kLogInfo, kPdmTag, "PDM is either running already or closed");
      return kPdmAlreadyRunning;
    }
  }
  // A previous run has ended: its thread leaves without waiting for anything of ours.
  joinManagerThread();
  pando::ScopedLock lock(&lock_);
  if (!generator_.generateWorkflow(&context_)) {
    pdmLog(pando::kLogError, kPdmTag, "Failed to generate workflow");
    return kPdmFailed;
  }
  if (!prepareOperation()) return kPdmFailed;
  const int32_t previous = status_.load();
  // Running before the thread exists, so a second start is refused whatever the thread does.
  setStatus(kStatusRunning);
  if (!thread_.startThread(&PDMImpl::threadEntry, this)) {
    pdmLog(pando::kLogError, kPdmTag, "Could not make manager thread");
    pdmLog(pando::kLogError, kPdmTag, "Failed to run the thread for the workflow");
    setStatus(previous);
    return kPdmFailed;
  }
  return kPdmOk;
}

int32_t PDMImpl::cancel() {
  std::lock_guard control(controlMutex_);
  {
    pando::ScopedLock lock(&lock_);
    if (!context_.initialized) return kPdmNotInitialized;
    if (hasEnded(status_.load())) {
      pdmLog(pando::kLogInfo, kPdmTag, "PDM is already complete so no need to cancel.");
      return kPdmOk;
    }
    handleClientActionLocked(kActionCancel);
    setStatus(kStatusIdle);
  }
  std::lock_guard wakeLock(wakeMutex_);
  wake_.notify_all();
  return kPdmOk;
}

void PDMImpl::handleClientAction(int32_t action) {
  std::lock_guard control(controlMutex_);
  pando::ScopedLock lock(&lock_);
  handleClientActionLocked(action);
}

void PDMImpl::handleClientActionLocked(int32_t action) {
  int32_t state = 0;
  if (cursor_.current(state)) {
    pdmLog(pando::kLogInfo, kPdmTag,
           "State machine is going to end so no need to handle any client action on that.");
    return;
  }
  const bool transferState = state == DOWNLOAD_ASSET_MANIFEST ||
                             state == DOWNLOAD_ASSET_VALIDATION || state == DOWNLOAD_ASSET;
  const int32_t phase = fileDownloader_.getPhase();
  switch (action) {
    case kActionPause:
      if (!transferState) return;
      if (phase == FileDownloader::kDownloading) {
        fileDownloader_.pause();
      } else {
        pdmLog(pando::kLogInfo, kPdmTag,
               "State of file downloader is %d which is not downloading state so not taking any "
               "step for pausing, just pausing the state machine.",
               phase);
      }
      return;
    case kActionResume:
      fileDownloader_.refreshCredentials(context_.request.preferences.prefText1,
                                         context_.request.preferences.prefText2);
      if (phase == FileDownloader::kPaused || phase == FileDownloader::kRetryableError) {
        fileDownloader_.resume();
      } else if (phase == FileDownloader::kFatalError) {
        fileDownloader_.reset();
      } else {
        pdmLog(pando::kLogInfo, kPdmTag,
               "State of file downloader is %d so not taking any step to resume, just resuming the "
               "state machine",
               phase);
      }
      return;
    case kActionCancel:
      if (transferState) fileDownloader_.reset();
      return;
    default:
      return;
  }
}

int32_t PDMImpl::getProgress(PDMProgress& out) const {
  std::lock_guard lock(recordsMutex_);
  out = progress_;
  return kPdmOk;
}

int32_t PDMImpl::getStatus(PDMStatus& out) const {
  std::lock_guard lock(recordsMutex_);
  out = lastStatus_;
  return kPdmOk;
}

void* PDMImpl::threadEntry(void* self) {
  static_cast<PDMImpl*>(self)->runManagerThread();
  return nullptr;
}

void PDMImpl::waitTick() {
  std::unique_lock lock(wakeMutex_);
  wake_.wait_for(lock, settings_.tick, [this] { return hasEnded(status_.load()); });
}

void PDMImpl::runManagerThread() {
  PDMWorkflowManager manager(*this);
  waitTick();
  lock_.lock();
  while (!hasEnded(status_.load())) {
    const bool paused = (status_.load() & (1 | kStatusPausedOnError)) != 0;
    if (!paused && cursor_.step(&manager, &context_)) {
      setStatus(kStatusComplete);
      break;
    }
    lock_.unlock();
    waitTick();
    lock_.lock();
  }
  lock_.unlock();
}

bool PDMImpl::prepareOperationFolder() {
  if (context_.ownsOperationFolder) return true;
  std::string folder;
  if (!FileUtils::getSpecialFolderPath(kTemporaryFolderId, folder) ||
      !FileUtils::createDirectoryAtPath(folder, false, PDMLogger::instance().getLogger())) {
    pdmLog(pando::kLogError, kPdmTag, "Failed to get temp location for download operations");
    return false;
  }
  // Runs that were killed left their folders, which nothing else removes.
  files::removeAbandonedRunFolders(folder, PDMLogger::instance().getLogger());
  std::string uuid;
  if (!StringUtils::utilCreateUUIDString(uuid)) {
    pdmLog(pando::kLogError, kPdmTag, "Failed to generate GUIDString for download operations");
    return false;
  }
  pdmLog(pando::kLogTrace, kPdmTag, "GUID String generated for download operations is %s",
         uuid.c_str());
  if (!FileUtils::appendPathComponent(folder, uuid)) {
    pdmLog(pando::kLogError, kPdmTag, "Failed to append GUID String to temp path");
    return false;
  }
  // Private and new: a folder already there is never reused.
  if (::mkdir(folder.c_str(), 0700) != 0) {
    pdmLog(pando::kLogError, kPdmTag, "Failed to create directory at %s", folder.c_str());
    return false;
  }
  context_.operationLock = files::holdRunFolder(folder);
  if (!context_.operationLock.valid()) {
    pdmLog(pando::kLogWarn, kPdmTag, "Could not lock the operation folder %s", folder.c_str());
  }
  context_.operationFolder = folder;
  context_.ownsOperationFolder = true;
  return true;
}

bool PDMImpl::prepareOperation() {
  const PDMInitData& request = context_.request;
  const size_t slash = request.initiatorURL.rfind('/');
  context_.initiatorBaseURL =
      slash == std::string::npos ? request.initiatorURL : request.initiatorURL.substr(0, slash);
  switch (request.workflowId) {
    case kWorkflowPackageByURL:
      context_.manifestURL = request.initiatorURL;
      return prepareOperationFolder();
    case kWorkflowSingleFile:
      if (!isFolder(request.operationURL)) {
        pdmLog(pando::kLogTrace, kPdmTag, "operation location does not exist so making one.");
        if (!FileUtils::createDirectoryAtPath(request.operationURL, false,
                                              PDMLogger::instance().getLogger())) {
          pdmLog(pando::kLogError, kPdmTag, "Filed to create directory at path: %s",
                 request.operationURL.c_str());
          return false;
        }
      }
      context_.assetURL = request.initiatorURL;
      context_.operationFolder = request.operationURL;
      context_.assetFileName = request.targetFileName.empty() ? lastPathElement(context_.assetURL)
                                                              : request.targetFileName;
      if (!isUsableFileName(context_.assetFileName)) {
        pdmLog(pando::kLogError, kPdmTag, "The file name '%s' is not usable",
               context_.assetFileName.c_str());
        return false;
      }
      context_.assetPath = context_.operationFolder;
      FileUtils::appendPathComponent(context_.assetPath, context_.assetFileName);
      return true;
    case kWorkflowPackageByText:
      if (!isFolder(request.operationURL)) {
        pdmLog(pando::kLogTrace, kPdmTag, "operation location does not exist.");
        return false;
      }
      context_.initiatorManifestText = request.initiatorData;
      context_.operationFolder = request.operationURL;
      return true;
    default:
      return true;
  }
}

void PDMImpl::setStatus(int32_t status) {
  status_.store(status);
  std::lock_guard lock(recordsMutex_);
  progress_.status = status;
}

void PDMImpl::sendEvent(int32_t event) {
  IPdmIntercept* intercept = context_.request.intercept;
  if (intercept == nullptr) return;
  const void* record = nullptr;
  uint32_t size = 0;
  {
    std::lock_guard lock(recordsMutex_);
    if (event == IPdmIntercept::kEventProgress) {
      eventProgress_ = progress_;
      record = &eventProgress_;
      size = sizeof eventProgress_;
    } else {
      eventStatus_ = lastStatus_;
      record = &eventStatus_;
      size = sizeof eventStatus_;
    }
  }
  intercept->onEvent(event, record, size);
}

void PDMImpl::reportProgress(int32_t state, int32_t percent, bool done) {
  const int32_t contribution =
      (done ? 100 : percent) * weightOf(context_.request.workflowId, state) / 100;
  const int32_t total = context_.progressBase + contribution;
  bool grew = false;
  {
    std::lock_guard lock(recordsMutex_);
    if (total > progress_.percent) {
      progress_.percent = total;
      grew = true;
    }
  }
  if (grew) sendEvent(IPdmIntercept::kEventProgress);
  if (done) context_.progressBase += contribution;
}

void PDMImpl::setAssetSize(uint64_t size) {
  std::lock_guard lock(recordsMutex_);
  progress_.assetSize = size;
}

void PDMImpl::setFinalStatus(const PDMStatus& record, bool withEngineDetails) {
  setStatus(record.retryable ? kStatusPausedOnError : kStatusFatal);
  std::string tag = record.errorTag;
  if (withEngineDetails) tag = labelled("PS", context_.extendedErrorCode, tag);
  tag = labelled("P", record.errorCode, tag);
  {
    std::lock_guard lock(recordsMutex_);
    lastStatus_ = record;
    lastStatus_.errorTag = tag;
  }
  sendEvent(IPdmIntercept::kEventStatus);
}

void PDMImpl::mapTransferError() {
  const int32_t type = fileDownloader_.getLastErrorType();
  if (type == -100) {
    pdmLog(pando::kLogInfo, kPdmTag,
           "File already exist. This should not happen because packages is downloaded in new GUID "
           "folder and file is send by client so should not be there already.");
  }
  PDMStatus record(codeForEngineError(type), fileDownloader_.isLastErrorRetryable() ? 1 : 0,
                   labelled("G", type, ""));
  context_.extendedErrorCode = fileDownloader_.getLastErrorCode();
  record.errorURL = fileDownloader_.getURL();
  setFinalStatus(record, true);
}

void PDMImpl::joinManagerThread() {
  if (thread_.getThread() == 0) return;
  int error = 0;
  if (!thread_.stopThread(&error)) {
    pdmLog(pando::kLogWarn, "", "Failed to wait for the thread. Error Code : %d", error);
  }
}

}  // namespace orvel::PackageDownloadManager
