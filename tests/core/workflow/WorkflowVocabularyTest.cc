// The workflow's names against the numbers the other process, the page and the logs read.
#include <gtest/gtest.h>

#include <string>

#include "core/workflow/InstallerStatus.h"
#include "core/workflow/WorkflowBlocks.h"

namespace {

TEST(WorkflowVocabulary, EveryStateHasItsWireValueAndName) {
  const struct {
    uint32_t value;
    const char* name;
  } rows[] = {
      {0, "None"},
      {0x101, "AcquireLocks"},
      {0x201, "SystemCheck"},
      {0x301, "RestoreProxyCredentials"},
      {0x401, "NetworkCheck"},
      {0x501, "CompatibilityCheck"},
      {0x601, "FirstScreen"},
      {0x705, "Welcome"},
      {0x801, "SignIn"},
      {0x905, "SignInPage"},
      {0xA05, "Type3SignIn"},
      {0xB01, "DeviceToken"},
      {0xC01, "SurveyCheck"},
      {0xD05, "Survey"},
      {0xE01, "SurveyResults"},
      {0xF01, "PrivacyNoticeCheck"},
      {0x1005, "PrivacyNotice"},
      {0x1101, "PrivacyNoticeAccepted"},
      {0x1201, "MainScreen"},
      {0x1302, "ApplicationsDocument"},
      {0x1402, "InstallerLibrary"},
      {0x1502, "StartDesktopAppInstall"},
      {0x1606, "DesktopAppInstall"},
      {0x1702, "DesktopAppInstalled"},
      {0x1801, "HelperHandshake"},
      {0x1901, "StartProductInstall"},
      {0x1A05, "ProductInstall"},
      {0x1B01, "Launch"},
      {0x1C00, "FailedFinal"},
      {0x1D00, "Final"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_STREQ(stateName(static_cast<WorkflowState>(row.value)), row.name);
    // The state block carries exactly these codes; any other is refused on arrival.
    WorkflowStateBlock block;
    block.stateCode = row.value;
    EXPECT_TRUE(decodeStateBlock(encodeStateBlock(block)).has_value());
  }
  for (const uint32_t stranger : {0x100u, 0x1903u, 0x1E00u, 0xFFFFFFFFu}) {
    EXPECT_STREQ(stateName(static_cast<WorkflowState>(stranger)), "unknown");
    WorkflowStateBlock block;
    block.stateCode = stranger;
    EXPECT_FALSE(decodeStateBlock(encodeStateBlock(block)).has_value()) << stranger;
  }
}

TEST(WorkflowVocabulary, EveryScreenHasItsAnalyticsName) {
  const char* const names[] = {
      "No-Screen",      "Spinner-before-Welcome-Screen",
      "Welcome-Screen", "Spinner-between-Welcome-SUSI",
      "SUSI-Screen",    "Spinner-after-SUSI-Screen",
      "Survey-Screen",  "Spinner-after-Survey-Screen",
      "PII-Screen",     "Main-Screen",
      "Launch-Screen",
  };
  for (int32_t id = 0; id < 11; ++id) {
    EXPECT_STREQ(screenName(static_cast<ScreenId>(id)), names[id]) << id;
  }
  EXPECT_EQ(screenName(static_cast<ScreenId>(11)), nullptr);
  EXPECT_EQ(screenName(static_cast<ScreenId>(-1)), nullptr);
}

TEST(WorkflowVocabulary, StatusNamesAndTheNumberOfAnUnnamedCode) {
  EXPECT_EQ(installerStatusName(kStatusSuccess), "PIM_STATUS_SUCCESS");
  EXPECT_EQ(installerStatusName(kStatusPimValidationFailure), "PIM_STATUS_PIM_VALIDATION_FAILURE");
  EXPECT_EQ(installerStatusName(kStatusCancelled), "PIM_STATUS_DOWNLOAD_CANCELED");
  EXPECT_EQ(installerStatusName(kStatusSuccessNoEnd), "6");
  EXPECT_EQ(installerStatusName(-7), "-7");
}

}  // namespace
