#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// The two records the installer's two processes mirror to each other, and their wire form: the
// fields little-endian, one after the other, as Base64 text. Plain values; any thread.

// The states other components move the workflow to or test, by name. Bits 8 and up number the
// step; a state with bit 1 runs only with administrator rights.
enum class WorkflowState : uint32_t {
  kSignIn = 0x801,
  kType3SignIn = 0xA05,
  kDeviceToken = 0xB01,
  kProductInstall = 0x1A05,
  kFailedFinal = 0x1C00,
  kFinal = 0x1D00,
};
constexpr uint32_t kAdministratorStateBit = 0x2;

// The state's code in the state block.
constexpr uint32_t code(WorkflowState state) {
  return static_cast<uint32_t>(state);
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
