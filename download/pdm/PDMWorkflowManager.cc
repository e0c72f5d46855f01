#include "download/pdm/PDMWorkflowManager.h"

#include <sys/stat.h>
#include <unistd.h>

#include "download/engine/DownloadPreference.h"
#include "download/pdm/common/PDMLogger.h"
#include "download/pdm/documents/DocumentText.h"
#include "foundation/files/FileUtils.h"
#include "foundation/system/CodeSigning.h"
#include "foundation/xml/XMLParser.h"

namespace orvel::PackageDownloadManager {
namespace {

// The asset's name as the progress lines show it: its file name without the extension.
std::string displayName(const AssetBase& asset) {
  const std::string name = lastPathElement(asset.getLocalPath());
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string joined(const std::string& folder, const std::string& name) {
  std::string path = folder;
  FileUtils::appendPathComponent(path, name);
  return path;
}

bool engineKeepsSegmentSize(uint32_t size) {
  return size >= gde::DownloadPreference::kMinSegmentSize &&
         size <= gde::DownloadPreference::kMaxSegmentSize;
}

uint64_t sizeOfFile(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)
             ? static_cast<uint64_t>(info.st_size)
             : UINT64_MAX;
}

// Whether the code-signing tool names the maker among the file's signing authorities.
bool isSignedByMaker(const std::string& path) {
  std::string chain;
  if (getCANameChain(path, chain)) return false;
  if (isOrvelCANameChain(chain)) return true;
  pdmLog(pando::kLogError, "validateAssetSignature",
         "Quarry Helper: Process certificate didnt match to Orvel certificate!");
  return false;
}

// Only a plain file goes: a folder or a link in the way stays for the transfer to report.
void removeRegularFile(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) ::unlink(path.c_str());
}

}  // namespace

void PDMWorkflowManager::executeState(int32_t state, PDMContext* context) {
  currentState_ = state;
  Step step = Step::kAgain;
  switch (state) {
    case DOWNLOAD_ASSET_MANIFEST:
    case DOWNLOAD_ASSET_VALIDATION:
    case DOWNLOAD_ASSET:
      step = transfer(state, *context);
      break;
    case PARSE_MANIFEST:
      step = parseManifest(*context);
      break;
    case PARSE_VALIDATION:
      step = parseValidation(*context);
      break;
    case CHECK_DOWNLOADED_ASSET:
      step = checkDownloadedAsset(*context);
      break;
    case VALIDATE_ASSET_SIGNATURE:
      step = validateAssetSignature(*context);
      break;
    case EXECUTE_ASSET:
      step = executeAsset(*context);
      break;
    case END_WORKFLOW:
      step = Step::kDone;
      break;
    default:
      pdmLog(pando::kLogWarn, kPdmTag, "Unknown state %d received by PDM workflow Manager", state);
      return;
  }
  if (step == Step::kDone) host_.advance();
}

PDMWorkflowManager::Step PDMWorkflowManager::fail(int32_t code) {
  host_.setFinalStatus(PDMStatus(code, 0, ""), false);
  return Step::kFailed;
}

void PDMWorkflowManager::setUpTransfer(int32_t state, PDMContext& context) {
  FileDownloader& downloader = host_.fileDownloader();
  gde::DLEPrefStruct preferences = context.request.preferences;
  if (state == DOWNLOAD_ASSET_MANIFEST || state == DOWNLOAD_ASSET_VALIDATION) {
    const char* name = state == DOWNLOAD_ASSET_MANIFEST ? "manifest.xml" : "validation.xml";
    // A document of an earlier run in the same folder is ours to replace; the engine refuses a
    // target that is taken.
    removeRegularFile(joined(context.operationFolder, name));
    downloader.setup(
        state == DOWNLOAD_ASSET_MANIFEST ? context.manifestURL : context.validationDataURL,
        context.operationFolder, name);
    preferences.singleStream = 1;
  } else {
    downloader.setup(context.assetURL, context.operationFolder, context.assetFileName);
  }
  downloader.setPreferences(preferences);
  downloader.setValidator(state == DOWNLOAD_ASSET ? context.validator.get() : nullptr);
}

PDMWorkflowManager::Step PDMWorkflowManager::transfer(int32_t state, PDMContext& context) {
  FileDownloader& downloader = host_.fileDownloader();
  if (!downloader.isInitialized() && downloader.getPhase() == FileDownloader::kNoHandle) {
    setUpTransfer(state, context);
  }
  switch (downloader.getPhase()) {
    case FileDownloader::kNoHandle:
    case FileDownloader::kHandleCreated:
    case FileDownloader::kRequestAccepted:
      if (downloader.prepare()) return Step::kAgain;
      break;
    case FileDownloader::kReady:
      if (downloader.startDownload()) return Step::kAgain;
      break;
    case FileDownloader::kDownloading:
      host_.reportProgress(state, static_cast<int32_t>(downloader.progressPercent()), false);
      return Step::kAgain;
    case FileDownloader::kRetryableError:
    case FileDownloader::kFatalError:
      pdmLog(pando::kLogWarn, kPdmTag, "Manifest file could not be downloaded");
      break;
    case FileDownloader::kComplete:
      pdmLog(pando::kLogTrace, kPdmTag, "Download Complete for the file");
      finishTransfer(state, context);
      return Step::kHandled;
    default:
      return Step::kAgain;
  }
  host_.mapTransferError();
  // The engine handle goes: a later start begins this transfer afresh.
  downloader.reset();
  return Step::kFailed;
}

void PDMWorkflowManager::finishTransfer(int32_t state, PDMContext& context) {
  host_.fileDownloader().reset();
  if (state == DOWNLOAD_ASSET && context.validator != nullptr &&
      sizeOfFile(context.assetPath) != context.validator->getFileSize()) {
    // Every segment that arrived matched, but whole segments may be missing.
    pdmLog(pando::kLogError, kPdmTag,
           "The size of the downloaded asset does not match the size in the validator");
    fail(gde::kDleErrorSegmentValidation);
    return;
  }
  host_.reportProgress(state, 100, true);
  if (state == DOWNLOAD_ASSET_MANIFEST) {
    context.manifestPath = joined(context.operationFolder, "manifest.xml");
    pdmLog(pando::kLogTrace, kPdmTag, "DOWNLOAD_ASSET_MANIFEST done");
  } else if (state == DOWNLOAD_ASSET_VALIDATION) {
    context.validationPath = joined(context.operationFolder, "validation.xml");
    pdmLog(pando::kLogTrace, kPdmTag, "DOWNLOAD_ASSET_VALIDATION state done");
  } else {
    pdmLog(pando::kLogTrace, kPdmTag, "Asset download state done");
  }
  host_.advance();
}

PDMWorkflowManager::Step PDMWorkflowManager::parseManifest(PDMContext& context) {
  XMLParser parser(PDMLogger::instance().getLogger());
  if (context.request.workflowId == kWorkflowPackageByText) {
    if (!parser.initWithXMLString(context.initiatorManifestText)) {
      pdmLog(pando::kLogError, kPdmTag,
             "Could not init xml parser with download manifest XML at %s",
             context.initiatorManifestText.c_str());
      return fail(kPdmErrorDocument);
    }
  } else if (!parser.initWithXMLPath(context.manifestPath)) {
    pdmLog(pando::kLogError, kPdmTag, "Could not init xml parser with download manifest file at %s",
           context.manifestPath.c_str());
    return fail(kPdmErrorDocument);
  }
  if (!parser.stringValueForXQuery("//manifest/version", context.manifestVersion)) {
    pdmLog(pando::kLogError, kPdmTag, "Could not find manifest version");
    return fail(kPdmErrorDocument);
  }
  int count = 0;
  XMLNodeList nodes = parser.getNodeListForXQuery("//manifest/asset_list/asset", &count);
  if (nodes == nullptr || count == 0) {
    pdmLog(pando::kLogError, kPdmTag, "Could not find the asset info in manifest file");
    return fail(kPdmErrorDocument);
  }
  for (int i = 0; i < count; ++i) {
    std::string xml;
    parser.getNodeXMLStringOfNode(parser.getNodeAtIndexFromNodeList(nodes, i), xml);
    std::unique_ptr<AssetBase> asset =
        context.assetFactory.createAsset(xml, context.request.baseURL);
    if (!asset) {
      pdmLog(pando::kLogError, kPdmTag, "This asset type is not supported");
      return fail(kPdmErrorDocument);
    }
    context.asset = std::move(asset);
    host_.setAssetSize(context.asset->getAssetSize());
  }
  context.validationDataURL = context.asset->getValidationDataURL();
  context.assetURL = context.asset->getAssetURL();
  pdmLog(pando::kLogTrace, kPdmTag, "Pasring manifest state done");
  return Step::kDone;
}

PDMWorkflowManager::Step PDMWorkflowManager::parseValidation(PDMContext& context) {
  if (!context.asset) return fail(kPdmErrorAction);
  context.validator.reset();
  context.validator = context.validatorFactory.createFromXML(context.validationPath);
  if (!context.validator) {
    pdmLog(pando::kLogWarn, kPdmTag,
           "Validation data for asset sequence number %u could not be initialized",
           context.asset->getSequenceNumber());
    return fail(kPdmErrorDocument);
  }
  if (context.validator->getFileSize() != context.asset->getAssetSize()) {
    pdmLog(pando::kLogError, kPdmTag,
           "The size of asset does not match with the size in the validator");
    return fail(kPdmErrorDocument);
  }
  if (!engineKeepsSegmentSize(context.validator->getSegmentSize())) {
    // The engine would cut other segments than the document describes: none would ever match.
    pdmLog(pando::kLogError, kPdmTag, "The segment size %u of the validator is not usable",
           context.validator->getSegmentSize());
    return fail(kPdmErrorDocument);
  }
  if (context.assetURL.compare(0, 4, "http") != 0) {
    context.assetURL = context.initiatorBaseURL + context.assetURL;
  }
  context.assetFileName = context.request.targetFileName.empty() ? lastPathElement(context.assetURL)
                                                                 : context.request.targetFileName;
  if (!isUsableFileName(context.assetFileName)) {
    pdmLog(pando::kLogError, kPdmTag, "The asset file name '%s' is not usable",
           context.assetFileName.c_str());
    return fail(kPdmErrorDocument);
  }
  context.assetPath = joined(context.operationFolder, context.assetFileName);
  context.asset->setPath(context.assetPath, context.request.operationURL);
  pdmLog(pando::kLogTrace, kPdmTag, "validation parsing done done");
  pdmLog(pando::kLogTrace, kPdmTag, "Download Start %s", displayName(*context.asset).c_str());
  return Step::kDone;
}

PDMWorkflowManager::Step PDMWorkflowManager::checkDownloadedAsset(PDMContext& context) {
  if (!context.validator) return fail(kPdmErrorAction);
  const std::string path = joined(context.operationFolder, context.assetFileName);
  if (context.validator->validateWholeFile(path)) {
    pdmLog(pando::kLogInfo, kPdmTag, "Asset is already downloaded and validated at '%s'",
           path.c_str());
    host_.advance();
    host_.reportProgress(DOWNLOAD_ASSET, 100, true);
    host_.advance();
    return Step::kHandled;
  }
  removeRegularFile(path);
  return Step::kDone;
}

PDMWorkflowManager::Step PDMWorkflowManager::validateAssetSignature(PDMContext& context) {
  if (context.request.validateSignature != 0 && !isSignedByMaker(context.assetPath)) {
    return fail(kPdmErrorSignature);
  }
  pdmLog(pando::kLogTrace, kPdmTag, "asset signature validation done");
  return Step::kDone;
}

PDMWorkflowManager::Step PDMWorkflowManager::executeAsset(PDMContext& context) {
  if (!context.asset) {
    pdmLog(pando::kLogError, kPdmTag, "asset parameter is null.");
    return fail(kPdmErrorAction);
  }
  const std::string name = displayName(*context.asset);
  pdmLog(pando::kLogTrace, kPdmTag, "Download END %s", name.c_str());
  pdmLog(pando::kLogTrace, kPdmTag, "Extraction Start %s", name.c_str());
  uint32_t type = 0;
  uint32_t result = 0;
  switch (context.asset->runActions(type, result)) {
    case kActionFailed:
      return fail(type != 0 ? kPdmErrorExtraction : kPdmErrorAction);
    case kActionInProgress:
      return Step::kAgain;
    default:
      break;
  }
  host_.reportProgress(EXECUTE_ASSET, 100, true);
  pdmLog(pando::kLogTrace, kPdmTag, "asset execution state done");
  pdmLog(pando::kLogTrace, kPdmTag, "Extraction End %s", name.c_str());
  return Step::kDone;
}

}  // namespace orvel::PackageDownloadManager
