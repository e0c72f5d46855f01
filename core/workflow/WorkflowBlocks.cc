#include "core/workflow/WorkflowBlocks.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "foundation/text/StringUtils.h"

namespace {

void putU32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t getU32(const uint8_t* at) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(at[i]) << (8 * i);
  return value;
}

void putI32(uint8_t* at, int32_t value) {
  putU32(at, static_cast<uint32_t>(value));
}
int32_t getI32(const uint8_t* at) {
  return static_cast<int32_t>(getU32(at));
}

void putF32(uint8_t* at, float value) {
  uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  putU32(at, bits);
}

float getF32(const uint8_t* at) {
  const uint32_t bits = getU32(at);
  float value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

template <size_t N>
std::string encode(const std::array<uint8_t, N>& bytes) {
  std::string text;
  StringUtils::utilEncodeDataInBase64(bytes.data(), bytes.size(), text);
  return text;
}

// Only the text the encoder writes: the other process sends exactly that, and anything looser
// could hide a damaged or forged block.
template <size_t N>
std::optional<std::array<uint8_t, N>> decode(const std::string& text) {
  std::vector<unsigned char> decoded;
  if (!StringUtils::utilDecodeBase64Strict(text, decoded) || decoded.size() != N) {
    return std::nullopt;
  }
  std::array<uint8_t, N> bytes{};
  std::memcpy(bytes.data(), decoded.data(), N);
  return bytes;
}

constexpr char kUnknownState[] = "unknown";

// The states of the step table, and kNone, which a workflow holds from construction to its start.
bool isState(uint32_t value) {
  return stateName(static_cast<WorkflowState>(value)) != kUnknownState;
}

bool inRange(int32_t value, int32_t low, int32_t high) {
  return value >= low && value <= high;
}

bool isFlag(uint8_t value) {
  return value <= 1;
}

// Whether every field holds a value its own process could have written.
bool plausible(const WorkflowStateBlock& block) {
  return isState(block.stateCode) &&
         inRange(block.uiAction, code(UIAction::kNone), code(UIAction::kBlocked)) &&
         inRange(block.uiFlags, code(UIFlag::kNone), code(UIFlag::kDownloadOver)) &&
         block.retryMode <= 2 && isFlag(block.quitConfirmed) && isFlag(block.closeOverride) &&
         std::isfinite(block.tarnProgress) && block.tarnProgress >= 0.0f &&
         block.tarnProgress <= 100.0f &&
         inRange(block.screenId, code(ScreenId::kNoScreen), code(ScreenId::kLaunch));
}

bool plausible(const ProgressEstimateBlock& block) {
  return block.minutesLeftMin >= 0 && block.minutesLeftMax >= 0 && inRange(block.progress, 0, 100);
}

}  // namespace

bool WorkflowStateBlock::sameExceptProgress(const WorkflowStateBlock& other) const {
  return stateCode == other.stateCode && uiAction == other.uiAction && uiFlags == other.uiFlags &&
         errorCode == other.errorCode && retryMode == other.retryMode &&
         quitConfirmed == other.quitConfirmed && closeOverride == other.closeOverride &&
         screenId == other.screenId;
}

std::array<uint8_t, WorkflowStateBlock::kSize> WorkflowStateBlock::toBytes() const {
  std::array<uint8_t, kSize> bytes{};
  putU32(&bytes[0], stateCode);
  putI32(&bytes[4], uiAction);
  putI32(&bytes[8], uiFlags);
  putI32(&bytes[12], errorCode);
  bytes[16] = retryMode;
  bytes[17] = quitConfirmed;
  bytes[18] = closeOverride;
  putF32(&bytes[20], tarnProgress);
  putI32(&bytes[24], screenId);
  return bytes;
}

WorkflowStateBlock WorkflowStateBlock::fromBytes(const std::array<uint8_t, kSize>& bytes) {
  WorkflowStateBlock block;
  block.stateCode = getU32(&bytes[0]);
  block.uiAction = getI32(&bytes[4]);
  block.uiFlags = getI32(&bytes[8]);
  block.errorCode = getI32(&bytes[12]);
  block.retryMode = bytes[16];
  block.quitConfirmed = bytes[17];
  block.closeOverride = bytes[18];
  block.tarnProgress = getF32(&bytes[20]);
  block.screenId = getI32(&bytes[24]);
  return block;
}

std::array<uint8_t, ProgressEstimateBlock::kSize> ProgressEstimateBlock::toBytes() const {
  std::array<uint8_t, kSize> bytes{};
  putI32(&bytes[0], minutesLeftMin);
  putI32(&bytes[4], minutesLeftMax);
  putI32(&bytes[8], progress);
  return bytes;
}

ProgressEstimateBlock ProgressEstimateBlock::fromBytes(const std::array<uint8_t, kSize>& bytes) {
  return {getI32(&bytes[0]), getI32(&bytes[4]), getI32(&bytes[8])};
}

std::string encodeStateBlock(const WorkflowStateBlock& block) {
  return encode(block.toBytes());
}

std::string encodeProgressEstimate(const ProgressEstimateBlock& block) {
  return encode(block.toBytes());
}

std::optional<WorkflowStateBlock> decodeStateBlock(const std::string& text) {
  auto bytes = decode<WorkflowStateBlock::kSize>(text);
  if (!bytes) return std::nullopt;
  const WorkflowStateBlock block = WorkflowStateBlock::fromBytes(*bytes);
  if (!plausible(block)) return std::nullopt;
  return block;
}

std::optional<ProgressEstimateBlock> decodeProgressEstimate(const std::string& text) {
  auto bytes = decode<ProgressEstimateBlock::kSize>(text);
  if (!bytes) return std::nullopt;
  const ProgressEstimateBlock block = ProgressEstimateBlock::fromBytes(*bytes);
  if (!plausible(block)) return std::nullopt;
  return block;
}

const char* stateName(WorkflowState state) {
  switch (state) {
    case WorkflowState::kNone:
      return "None";
    case WorkflowState::kAcquireLocks:
      return "AcquireLocks";
    case WorkflowState::kSystemCheck:
      return "SystemCheck";
    case WorkflowState::kRestoreProxyCredentials:
      return "RestoreProxyCredentials";
    case WorkflowState::kNetworkCheck:
      return "NetworkCheck";
    case WorkflowState::kCompatibilityCheck:
      return "CompatibilityCheck";
    case WorkflowState::kFirstScreen:
      return "FirstScreen";
    case WorkflowState::kWelcome:
      return "Welcome";
    case WorkflowState::kSignIn:
      return "SignIn";
    case WorkflowState::kSignInPage:
      return "SignInPage";
    case WorkflowState::kType3SignIn:
      return "Type3SignIn";
    case WorkflowState::kDeviceToken:
      return "DeviceToken";
    case WorkflowState::kSurveyCheck:
      return "SurveyCheck";
    case WorkflowState::kSurvey:
      return "Survey";
    case WorkflowState::kSurveyResults:
      return "SurveyResults";
    case WorkflowState::kPrivacyNoticeCheck:
      return "PrivacyNoticeCheck";
    case WorkflowState::kPrivacyNotice:
      return "PrivacyNotice";
    case WorkflowState::kPrivacyNoticeAccepted:
      return "PrivacyNoticeAccepted";
    case WorkflowState::kMainScreen:
      return "MainScreen";
    case WorkflowState::kApplicationsDocument:
      return "ApplicationsDocument";
    case WorkflowState::kInstallerLibrary:
      return "InstallerLibrary";
    case WorkflowState::kStartDesktopAppInstall:
      return "StartDesktopAppInstall";
    case WorkflowState::kDesktopAppInstall:
      return "DesktopAppInstall";
    case WorkflowState::kDesktopAppInstalled:
      return "DesktopAppInstalled";
    case WorkflowState::kHelperHandshake:
      return "HelperHandshake";
    case WorkflowState::kStartProductInstall:
      return "StartProductInstall";
    case WorkflowState::kProductInstall:
      return "ProductInstall";
    case WorkflowState::kLaunch:
      return "Launch";
    case WorkflowState::kFailedFinal:
      return "FailedFinal";
    case WorkflowState::kFinal:
      return "Final";
  }
  return kUnknownState;
}

const char* screenName(ScreenId id) {
  switch (id) {
    case ScreenId::kNoScreen:
      return "No-Screen";
    case ScreenId::kSpinnerBeforeWelcome:
      return "Spinner-before-Welcome-Screen";
    case ScreenId::kWelcome:
      return "Welcome-Screen";
    case ScreenId::kSpinnerBetweenWelcomeAndSignIn:
      return "Spinner-between-Welcome-SUSI";
    case ScreenId::kSignIn:
      return "SUSI-Screen";
    case ScreenId::kSpinnerAfterSignIn:
      return "Spinner-after-SUSI-Screen";
    case ScreenId::kSurvey:
      return "Survey-Screen";
    case ScreenId::kSpinnerAfterSurvey:
      return "Spinner-after-Survey-Screen";
    case ScreenId::kPrivacyNotice:
      return "PII-Screen";
    case ScreenId::kMain:
      return "Main-Screen";
    case ScreenId::kLaunch:
      return "Launch-Screen";
  }
  return nullptr;
}
