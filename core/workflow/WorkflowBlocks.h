#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// The two records the installer's two processes mirror to each other, and their wire form: the
// fields little-endian, one after the other, as Base64 text. Plain values; any thread.

// The workflow's states. Bits 8 and up number the step; bit 0 marks a state of the user's process
// only, bit 1 one that runs only with administrator rights, bit 2 one that waits for the user or a
// thread.
enum class WorkflowState : uint32_t {
  kNone = 0,  // before the start
  kAcquireLocks = 0x101,
  kSystemCheck = 0x201,
  kRestoreProxyCredentials = 0x301,
  kNetworkCheck = 0x401,
  kCompatibilityCheck = 0x501,
  kFirstScreen = 0x601,
  kWelcome = 0x705,
  kSignIn = 0x801,
  kSignInPage = 0x905,
  kType3SignIn = 0xA05,
  kDeviceToken = 0xB01,
  kSurveyCheck = 0xC01,
  kSurvey = 0xD05,
  kSurveyResults = 0xE01,
  kPrivacyNoticeCheck = 0xF01,
  kPrivacyNotice = 0x1005,
  kPrivacyNoticeAccepted = 0x1101,
  kMainScreen = 0x1201,
  kApplicationsDocument = 0x1302,
  kInstallerLibrary = 0x1402,
  kStartDesktopAppInstall = 0x1502,
  kDesktopAppInstall = 0x1606,
  kDesktopAppInstalled = 0x1702,
  kHelperHandshake = 0x1801,
  kStartProductInstall = 0x1901,
  kProductInstall = 0x1A05,
  kLaunch = 0x1B01,
  kFailedFinal = 0x1C00,
  kFinal = 0x1D00,
};
constexpr uint32_t kAdministratorStateBit = 0x2;

// The enumerator's name without its "k", for logs and test output; "unknown" outside the enum.
const char* stateName(WorkflowState state);

// The user's choice as the view stores it in the state block.
enum class UIAction : int32_t {
  kNone = 0,
  kProxyLogin = 1,
  kCleared = 2,  // cleared without handling of its own
  kRetry = 3,
  kQuitRequested = 4,
  kQuitConfirmed = 5,
  kQuitDeclined = 6,
  kLocationChosen = 7,
  kBlocked = 8,  // an alert waits for the user
};

// The command the installer library's progress callback reads from the state block and resets.
enum class UIFlag : int32_t {
  kNone = 0,
  kDownloading = 1,
  kPause = 2,
  kResume = 3,
  kCancel = 4,
  kRetry = 5,
  kDownloadOver = 6,
};

// The screen the user sees, as the analytics events name it.
enum class ScreenId : int32_t {
  kNoScreen = 0,
  kSpinnerBeforeWelcome = 1,
  kWelcome = 2,
  kSpinnerBetweenWelcomeAndSignIn = 3,
  kSignIn = 4,
  kSpinnerAfterSignIn = 5,
  kSurvey = 6,
  kSpinnerAfterSurvey = 7,
  kPrivacyNotice = 8,
  kMain = 9,
  kLaunch = 10,
};

// The screen's name in analytics events ("Main-Screen"), or nullptr outside the table.
const char* screenName(ScreenId id);

// The state's code in the state block.
constexpr uint32_t code(WorkflowState state) {
  return static_cast<uint32_t>(state);
}
constexpr int32_t code(UIAction action) {
  return static_cast<int32_t>(action);
}
constexpr int32_t code(UIFlag flag) {
  return static_cast<int32_t>(flag);
}
constexpr int32_t code(ScreenId id) {
  return static_cast<int32_t>(id);
}

// The workflow's state as both processes share it.
struct WorkflowStateBlock {
  static constexpr size_t kSize = 28;

  uint32_t stateCode = 0;
  int32_t uiAction = 0;
  int32_t uiFlags = 0;  // command for the installer library's progress callback
  int32_t errorCode = 0;
  uint8_t retryMode = 1;  // 0 no button, 1 retry, 2 continue
  uint8_t quitConfirmed = 0;
  uint8_t closeOverride = 0;
  float tarnProgress = 0;  // desktop-application install progress, percent
  int32_t screenId = 0;

  // Every field but tarnProgress: a change of the progress alone is not worth a packet.
  bool sameExceptProgress(const WorkflowStateBlock& other) const;
  std::array<uint8_t, kSize> toBytes() const;
  static WorkflowStateBlock fromBytes(const std::array<uint8_t, kSize>& bytes);
};

// The user's estimate of the time left and the overall progress, as last shown.
struct ProgressEstimateBlock {
  static constexpr size_t kSize = 12;

  int32_t minutesLeftMin = 0;
  int32_t minutesLeftMax = 0;
  int32_t progress = 0;

  friend bool operator==(const ProgressEstimateBlock&, const ProgressEstimateBlock&) = default;
  std::array<uint8_t, kSize> toBytes() const;
  static ProgressEstimateBlock fromBytes(const std::array<uint8_t, kSize>& bytes);
};

std::string encodeStateBlock(const WorkflowStateBlock& block);
std::string encodeProgressEstimate(const ProgressEstimateBlock& block);
// Nothing when the text is not exactly what the encoder writes (standard Base64, no blanks, line
// breaks or other alphabets), does not decode to exactly the record's size, or a field holds what
// no process writes: a state outside the step table (0, the state before the start, is in it), a
// UI action outside 0-8, UI flags outside 0-6, a retry mode over 2, a flag other than 0 or 1, a
// progress that is not a number from 0 to 100, a screen outside 0-10; an estimate's minutes below
// 0 or its progress outside 0-100.
std::optional<WorkflowStateBlock> decodeStateBlock(const std::string& text);
std::optional<ProgressEstimateBlock> decodeProgressEstimate(const std::string& text);
