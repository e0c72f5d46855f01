#include <gtest/gtest.h>

#include "tests/core/workflow/support/WorkflowRig.h"

namespace {

using wendtest::ViewCall;
using wendtest::WorkflowRig;
using Args = std::vector<std::string>;

struct SetErrorRow {
  int error;
  bool retry;
  const char* textId;
};

class SetErrorTable : public ::testing::TestWithParam<SetErrorRow> {};

TEST_P(SetErrorTable, ShowsItsAlertAndSendsTheBlock) {
  const SetErrorRow row = GetParam();
  WorkflowRig rig(WorkflowRole::kUser);
  rig.requiredOsVersion = "10.9.0";
  rig.workflow->setError(row.error, row.retry);
  const std::string param = row.error == 21 ? "10.9.0" : "";
  EXPECT_EQ(rig.view.names(), Args{"showErrorAlert"});
  EXPECT_EQ(rig.view.last("showErrorAlert").args,
            (Args{row.textId, row.retry ? "1" : "0", "P" + std::to_string(row.error), param, "", "",
                  "false"}));
  const WorkflowStateBlock block = rig.workflow->stateBlock();
  EXPECT_EQ(block.uiAction, 8);
  EXPECT_EQ(block.errorCode, 0);
  EXPECT_EQ(block.retryMode, row.retry ? 1 : 0);
  EXPECT_EQ(rig.workflow->lastError(), row.error);
  EXPECT_EQ(rig.ownGateway.sent, std::vector<int>{IMessageGateway::kWorkflowStatePacket});
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SetErrorTable,
    ::testing::Values(SetErrorRow{4, false, "TarnInstallBriskFailed"},
                      SetErrorRow{21, false, "InitErrorIncompatibleOS"},
                      SetErrorRow{22, false, "InitErrorCaseSensitiveVolume"},
                      SetErrorRow{23, true, "TarnInstallErrorDiskSpace"},
                      SetErrorRow{24, false, "TarnInstallAdminError"},
                      SetErrorRow{41, false, "TarnInstallFileAccessErrorInstall"},
                      SetErrorRow{43, false, "TarnInstallFileCopyErrorInstall"},
                      SetErrorRow{44, false, "TarnInstallFileCreateErrorInstall"},
                      SetErrorRow{48, false, "TarnInstallFileAccessErrorInstall"},
                      SetErrorRow{49, false, "TarnInstallFileAccessErrorInstall"},
                      SetErrorRow{71, false, "InitErrorNetworkPath"},
                      SetErrorRow{72, false, "TarnInstallBriskFailed"},
                      SetErrorRow{81, false, "InitErrorAnotherInstallerRunning"},
                      SetErrorRow{82, true, "TarnInstallWaitOrCloseOtherInstances"},
                      SetErrorRow{83, true, "TarnInstallWaitOrCloseOtherInstances"},
                      SetErrorRow{85, true, "TarnInstallWaitOrCloseOtherInstancesNotifier"},
                      SetErrorRow{86, true, "TarnInstallWaitOrCloseOtherInstancesCorvel"},
                      SetErrorRow{87, true, "TarnInstallAnotherMSIRunning"},
                      SetErrorRow{88, true, "TarnInstallOrvelDetecPluginLoaded"},
                      SetErrorRow{201, true, "TarnInstallErrorDownloadError"},
                      SetErrorRow{202, true, "TarnDownloadExtractionError"},
                      SetErrorRow{203, true, "TarnInstallBriskFailed"},
                      SetErrorRow{204, true, "TarnInstallFileAccessError"},
                      SetErrorRow{206, true, "TarnInstallNetworkUnavailable"},
                      SetErrorRow{207, true, "TarnInstallDownloadServerErr"},
                      SetErrorRow{208, true, "TarnInstallDownloadDiskSpaceErr"},
                      SetErrorRow{209, true, "TarnInstallDownloadPermisionErr"},
                      SetErrorRow{212, false, "TarnInstallDownloadResumableErr"},
                      SetErrorRow{213, true, "TarnInstallErrorDownloadError"},
                      SetErrorRow{214, true, "TarnInstallBriskFailed"},
                      SetErrorRow{1, false, "InitErrorGeneric"},
                      SetErrorRow{215, false, "InitErrorGeneric"},
                      SetErrorRow{-3, true, "InitErrorGeneric"}));

TEST(WorkflowErrors, ZeroOnlySetsTheFields) {
  WorkflowRig rig(WorkflowRole::kUser);
  rig.workflow->setError(0, false);
  EXPECT_TRUE(rig.view.calls().empty());
  EXPECT_TRUE(rig.ownGateway.sent.empty());
  EXPECT_EQ(rig.workflow->stateBlock().uiAction, 8);
  EXPECT_EQ(rig.workflow->stateBlock().retryMode, 0);
}

TEST(WorkflowErrors, ProxyAuthenticationWithRetryPromptsForCredentials) {
  WorkflowRig rig(WorkflowRole::kUser);
  rig.workflow->setError(212, true);
  EXPECT_EQ(rig.view.names(), Args{"showProxyAlert"});
  const WorkflowStateBlock block = rig.workflow->stateBlock();
  EXPECT_EQ(block.errorCode, 212);
  EXPECT_EQ(block.uiFlags, 2);
  EXPECT_EQ(block.uiAction, 8);
  EXPECT_EQ(rig.ownGateway.sent.size(), 1u);
}

TEST(WorkflowErrors, AlertAndWaitShowsTheGivenTexts) {
  WorkflowRig rig(WorkflowRole::kUser);
  rig.workflow->showErrorAlertAndWait("SignInErr", 2, "S1", "p", "T", "L", true);
  EXPECT_EQ(rig.view.last("showErrorAlert").args,
            (Args{"SignInErr", "2", "S1", "p", "T", "L", "true"}));
  EXPECT_EQ(rig.workflow->stateBlock().retryMode, 1);
}

struct ProductRow {
  int code;
  bool resumable;
  const char* xml;
  Args alert;  // type, mode, code, param, title, link, append
  int retryMode;
};

class ProductErrorTable : public ::testing::TestWithParam<ProductRow> {};

TEST_P(ProductErrorTable, ShowsItsAlert) {
  const ProductRow& row = GetParam();
  WorkflowRig rig(WorkflowRole::kUser);
  rig.config.set("productName", "Prism");
  AppsPanelProgress record;
  record.errorCode = row.code;
  record.isErrorResumable = row.resumable;
  record.errorParamXML = row.xml;
  record.moreInfoLink = "https://help.example/x";
  rig.workflow->handleProductInstallError(record);
  EXPECT_EQ(rig.view.last("showErrorAlert").args, row.alert);
  EXPECT_EQ(rig.workflow->stateBlock().uiAction, 8);
  EXPECT_EQ(rig.workflow->stateBlock().retryMode, row.retryMode);
  EXPECT_EQ(rig.ownGateway.sent.size(), 1u);
}

constexpr char kDrive[] = "<errorParams><driveName>Macintosh HD</driveName></errorParams>";
constexpr char kProcess[] =
    "<errorParams><conflictingProcess>Prism</conflictingProcess>"
    "</errorParams>";

INSTANTIATE_TEST_SUITE_P(
    Rows, ProductErrorTable,
    ::testing::Values(
        ProductRow{104,
                   true,
                   nullptr,
                   {"ProductInstallationInvalidFile", "0", "C104", "", "", "", "false"},
                   0},
        ProductRow{105,
                   true,
                   nullptr,
                   {"ProductInstallationInitializeFailed", "1", "C105", "Prism", "", "", "false"},
                   1},
        ProductRow{113,
                   false,
                   nullptr,
                   {"ProductInstallationgenericHTTPError", "0", "C113", "",
                    "ProductInstallationTitlegenericHTTPError", "", "false"},
                   0},
        ProductRow{120,
                   true,
                   kDrive,
                   {"ProductInstallationdiskSpaceErr", "1", "C120", "Macintosh HD",
                    "ProductInstallationTitlediskSpaceErr", "", "false"},
                   1},
        ProductRow{203,
                   true,
                   "not <xml",
                   {"ProductInstallationdiskSpaceErr", "1", "C203", "",
                    "ProductInstallationTitlediskSpaceErr", "", "false"},
                   1},
        ProductRow{131,
                   false,
                   kProcess,
                   {"ProductInstallationconflictingProcessErr", "2", "C131", "Prism",
                    "ProductInstallationTitleConflict", "", "true"},
                   1},
        ProductRow{145,
                   true,
                   nullptr,
                   {"ProductInstallationFileAlreadyExist", "0", "C145", "",
                    "InstallationFailedTitle", "https://help.example/x", "false"},
                   0},
        ProductRow{206,
                   true,
                   nullptr,
                   {"ProductInstallationsystemReqErr", "0", "C206", "Prism", "", "", "false"},
                   0},
        ProductRow{0,
                   false,
                   nullptr,
                   {"ProductInstallationInitializeFailed", "0", "C0", "Prism", "", "", "false"},
                   0},
        ProductRow{400,
                   true,
                   nullptr,
                   {"ProductInstallationInitializeFailed", "1", "C400", "Prism", "", "", "false"},
                   1}));

TEST(WorkflowErrors, PathAlertsOfTheProductInstallation) {
  const struct {
    int code;
    Args alert;
  } rows[] = {
      {133,
       {"ProductInstallationTitlediskSpaceErr", "ProductInstallationdiskSpaceErr3", "/Apps",
        "false", ""}},
      {140,
       {"ProductInstallationTitleRegistryError", "ProductInstallationaccessPermissionErrNew",
        "/Apps", "false", "Prism"}},
      {181,
       {"ProductInstallationTitleInvalidPath", "ProductInstallationNotFullPathError", "/Apps",
        "false", ""}},
  };
  for (const auto& row : rows) {
    WorkflowRig rig(WorkflowRole::kUser);
    rig.config.set("productName", "Prism");
    rig.workflow->setInstallLocation("/Apps");
    AppsPanelProgress record;
    record.errorCode = row.code;
    rig.workflow->handleProductInstallError(record);
    EXPECT_EQ(rig.view.names(), Args{"showPathErrorAlert"}) << row.code;
    EXPECT_EQ(rig.view.last("showPathErrorAlert").args, row.alert) << row.code;
    EXPECT_EQ(rig.workflow->stateBlock().retryMode, 1);
  }
}

TEST(WorkflowErrors, ProxyErrorOfTheProductsRetriesWithStoredCredentials) {
  for (const bool stored : {true, false}) {
    WorkflowRig rig(WorkflowRole::kUser);
    if (stored) rig.proxy.set({"ann", "secret", false});
    AppsPanelProgress record;
    record.errorCode = 124;
    rig.workflow->handleProductInstallError(record);
    EXPECT_EQ(rig.view.names(), stored ? Args{} : Args{"showProxyAlert"});
    EXPECT_EQ(rig.applets.actions(), stored ? Args{"retry user=ann location=-"} : Args{});
    EXPECT_EQ(rig.workflow->stateBlock().uiAction, 0);
  }
}

TEST(WorkflowErrors, InstallLocationErrorIds) {
  const struct {
    const char* error;
    const char* title;
    const char* text;
  } rows[] = {
      {"1", "InstallLocationTitleGenericErr", "InstallLocationRootPathErr"},
      {"2", "InstallLocationTitleGenericErr", "InstallLocationMaxPathErr"},
      {"3", "InstallLocationTitleGenericErr", "InstallLocationFlashPathErr"},
      {"4", "InstallLocationTitleGenericErr", "InstallLocationNetworkPathErr"},
      {"5", "InstallLocationTitleGenericErr", "InstallLocationCaseSensitivePathErr"},
      {"6", "InstallLocationTitleLockedPathErr", "InstallLocationLockedPathErr"},
      {"7", "InstallLocationTitleGenericErr", "InstallLocationGenericErr"},
      {"", "InstallLocationTitleGenericErr", "InstallLocationGenericErr"},
  };
  for (const auto& row : rows) {
    std::string title;
    std::string text;
    WorkflowManager::getInstallLocationErrorIds(row.error, title, text);
    EXPECT_EQ(title, row.title) << row.error;
    EXPECT_EQ(text, row.text) << row.error;
  }
}

// UI action 7: a rejected location shows the path alert; an accepted (or empty) one retries the
// product installation there.
TEST(WorkflowErrors, ChosenInstallLocationIsCheckedBeforeTheRetry) {
  const struct {
    const char* location;
    Args view;
    Args applet;
  } rows[] = {
      {"/bad6", {"showPathErrorAlert"}, {}},
      {"/Apps", {"updateCancelButtonState"}, {"retry user=- location=/Apps"}},
      {"", {"updateCancelButtonState"}, {"retry user=- location=-"}},
  };
  for (const auto& row : rows) {
    WorkflowRig rig(WorkflowRole::kUser);
    rig.workflow->setStateCode(0x1A05);
    rig.workflow->setInstallLocation(row.location);
    rig.workflow->setCurrentUIAction(7);
    rig.workflow->runStep();
    EXPECT_EQ(rig.view.names(), row.view) << row.location;
    EXPECT_EQ(rig.applets.actions(), row.applet) << row.location;
    if (!row.applet.empty()) continue;
    EXPECT_EQ(rig.view.last("showPathErrorAlert").args,
              (Args{"InstallLocationTitleLockedPathErr", "InstallLocationLockedPathErr", "/bad6",
                    "true", ""}));
    EXPECT_EQ(rig.workflow->stateBlock().uiAction, 8);
  }
}

}  // namespace
