#include <gtest/gtest.h>

#include <sstream>

#include "tests/core/workflow/support/WorkflowRig.h"

namespace {

using wendtest::WorkflowRig;
using Args = std::vector<std::string>;

// Pairs of the error ("+": raised with retry) and the alert's text id. 21 names the required
// version as its parameter.
constexpr char kSetErrorRows[] = R"(
4    TarnInstallBriskFailed                        21   InitErrorIncompatibleOS
22   InitErrorCaseSensitiveVolume                  23+  TarnInstallErrorDiskSpace
24   TarnInstallAdminError                         41   TarnInstallFileAccessErrorInstall
43   TarnInstallFileCopyErrorInstall               44   TarnInstallFileCreateErrorInstall
48   TarnInstallFileAccessErrorInstall             49   TarnInstallFileAccessErrorInstall
71   InitErrorNetworkPath                          72   TarnInstallBriskFailed
81   InitErrorAnotherInstallerRunning              82+  TarnInstallWaitOrCloseOtherInstances
83+  TarnInstallWaitOrCloseOtherInstances          85+  TarnInstallWaitOrCloseOtherInstancesNotifier
86+  TarnInstallWaitOrCloseOtherInstancesCorvel    87+  TarnInstallAnotherMSIRunning
88+  TarnInstallOrvelDetecPluginLoaded             201+ TarnInstallErrorDownloadError
202+ TarnDownloadExtractionError                   203+ TarnInstallBriskFailed
204+ TarnInstallFileAccessError                    206+ TarnInstallNetworkUnavailable
207+ TarnInstallDownloadServerErr                  208+ TarnInstallDownloadDiskSpaceErr
209+ TarnInstallDownloadPermisionErr               212  TarnInstallDownloadResumableErr
213+ TarnInstallErrorDownloadError                 214+ TarnInstallBriskFailed
1    InitErrorGeneric                              215  InitErrorGeneric
-3+  InitErrorGeneric
)";

TEST(WorkflowErrors, SetErrorShowsItsAlertAndSendsTheBlock) {
  std::istringstream rows(kSetErrorRows);
  std::string code;
  std::string textId;
  while (rows >> code >> textId) {
    SCOPED_TRACE(code);
    const int error = std::stoi(code);
    const bool retry = code.back() == '+';
    WorkflowRig rig(WorkflowRole::kUser);
    rig.requiredOsVersion = "10.9.0";
    rig.workflow->setError(error, retry);
    EXPECT_EQ(rig.view.names(), Args{"showErrorAlert"});
    EXPECT_EQ(rig.view.last("showErrorAlert").args,
              (Args{textId, retry ? "1" : "0", "P" + std::to_string(error),
                    error == kStatusIncompatibleOs ? "10.9.0" : "", "", "", "false"}));
    const WorkflowStateBlock block = rig.workflow->stateBlock();
    EXPECT_EQ(block.uiAction, ::code(UIAction::kBlocked));
    EXPECT_EQ(block.errorCode, 0);
    EXPECT_EQ(block.retryMode, retry ? 1 : 0);
    EXPECT_EQ(rig.workflow->lastError(), error);
    EXPECT_EQ(rig.ownGateway.sent, std::vector<int>{IMessageGateway::kWorkflowStatePacket});
  }
}

TEST(WorkflowErrors, ZeroOnlySetsTheFields) {
  WorkflowRig rig(WorkflowRole::kUser);
  rig.workflow->setError(kStatusSuccess, false);
  EXPECT_TRUE(rig.view.calls().empty());
  EXPECT_TRUE(rig.ownGateway.sent.empty());
  EXPECT_EQ(rig.workflow->uiAction(), UIAction::kBlocked);
  EXPECT_EQ(rig.workflow->stateBlock().retryMode, 0);
}

TEST(WorkflowErrors, ProxyAuthenticationWithRetryPromptsForCredentials) {
  WorkflowRig rig(WorkflowRole::kUser);
  rig.workflow->setError(kStatusProxyAuthenticationRequired, true);
  EXPECT_EQ(rig.view.names(), Args{"showProxyAlert"});
  const WorkflowStateBlock block = rig.workflow->stateBlock();
  EXPECT_EQ(block.errorCode, kStatusProxyAuthenticationRequired);
  EXPECT_EQ(block.uiFlags, code(UIFlag::kPause));
  EXPECT_EQ(block.uiAction, code(UIAction::kBlocked));
  EXPECT_EQ(rig.ownGateway.sent.size(), 1u);
}

TEST(WorkflowErrors, AlertAndWaitShowsTheGivenTexts) {
  WorkflowRig rig(WorkflowRole::kUser);
  rig.workflow->showErrorAlertAndWait("SignInErr", 2, "S1", "p", "T", "L", true);
  EXPECT_EQ(rig.view.last("showErrorAlert").args,
            (Args{"SignInErr", "2", "S1", "p", "T", "L", "true"}));
  EXPECT_EQ(rig.workflow->stateBlock().retryMode, 1);
}

// An alert's arguments joined by "|".
std::string joined(const Args& args) {
  std::string text;
  for (const std::string& arg : args) text += (text.empty() ? "" : "|") + arg;
  return text;
}

struct ProductRow {
  int code;
  bool resumable;
  const char* xml;
  const char* alert;  // type|mode|code|param|title|link|append
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
  const Args alert = rig.view.last("showErrorAlert").args;
  EXPECT_EQ(joined(alert), row.alert);
  EXPECT_EQ(rig.workflow->uiAction(), UIAction::kBlocked);
  EXPECT_EQ(rig.workflow->stateBlock().retryMode, alert.at(1) == "0" ? 0 : 1);
  EXPECT_EQ(rig.ownGateway.sent.size(), 1u);
}

constexpr char kDrive[] = "<errorParams><driveName>Macintosh HD</driveName></errorParams>";
constexpr char kProcess[] =
    "<errorParams><conflictingProcess>Prism</conflictingProcess></errorParams>";

INSTANTIATE_TEST_SUITE_P(
    Rows, ProductErrorTable,
    ::testing::Values(
        ProductRow{104, true, nullptr, "ProductInstallationInvalidFile|0|C104||||false"},
        ProductRow{105, true, nullptr, "ProductInstallationInitializeFailed|1|C105|Prism|||false"},
        ProductRow{113, false, nullptr,
                   "ProductInstallationgenericHTTPError|0|C113||"
                   "ProductInstallationTitlegenericHTTPError||false"},
        ProductRow{120, true, kDrive,
                   "ProductInstallationdiskSpaceErr|1|C120|Macintosh "
                   "HD|ProductInstallationTitlediskSpaceErr||false"},
        ProductRow{203, true, "not <xml",
                   "ProductInstallationdiskSpaceErr|1|C203||"
                   "ProductInstallationTitlediskSpaceErr||false"},
        ProductRow{131, false, kProcess,
                   "ProductInstallationconflictingProcessErr|2|C131|Prism|"
                   "ProductInstallationTitleConflict||true"},
        ProductRow{145, true, nullptr,
                   "ProductInstallationFileAlreadyExist|0|C145||"
                   "InstallationFailedTitle|https://help.example/x|false"},
        ProductRow{206, true, nullptr, "ProductInstallationsystemReqErr|0|C206|Prism|||false"},
        ProductRow{0, false, nullptr, "ProductInstallationInitializeFailed|0|C0|Prism|||false"},
        ProductRow{400, true, nullptr,
                   "ProductInstallationInitializeFailed|1|C400|Prism|||false"}));

TEST(WorkflowErrors, PathAlertsOfTheProductInstallation) {
  const std::pair<int, const char*> rows[] = {
      {133,
       "ProductInstallationTitlediskSpaceErr|"
       "ProductInstallationdiskSpaceErr3|/Apps|false|"},
      {140,
       "ProductInstallationTitleRegistryError|"
       "ProductInstallationaccessPermissionErrNew|/Apps|false|Prism"},
      {181,
       "ProductInstallationTitleInvalidPath|"
       "ProductInstallationNotFullPathError|/Apps|false|"},
  };
  for (const auto& [code, alert] : rows) {
    WorkflowRig rig(WorkflowRole::kUser);
    rig.config.set("productName", "Prism");
    rig.workflow->setInstallLocation("/Apps");
    AppsPanelProgress record;
    record.errorCode = code;
    rig.workflow->handleProductInstallError(record);
    EXPECT_EQ(rig.view.names(), Args{"showPathErrorAlert"}) << code;
    EXPECT_EQ(joined(rig.view.last("showPathErrorAlert").args), alert) << code;
    EXPECT_EQ(rig.workflow->stateBlock().retryMode, 1);
  }
}

TEST(WorkflowErrors, ProxyErrorOfTheProductsRetriesWithStoredCredentials) {
  for (const bool stored : {true, false}) {
    WorkflowRig rig(WorkflowRole::kUser);
    if (stored) rig.proxy.set({"ann", "secret", false});
    AppsPanelProgress record;
    record.errorCode = kProductErrorProxyAuthentication;
    rig.workflow->handleProductInstallError(record);
    EXPECT_EQ(rig.view.names(), stored ? Args{} : Args{"showProxyAlert"});
    EXPECT_EQ(rig.applets.actions(), stored ? Args{"retry user=ann location=-"} : Args{});
    EXPECT_EQ(rig.workflow->uiAction(), UIAction::kNone);
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

// UIAction::kLocationChosen: a rejected location shows the path alert; an accepted (or empty)
// one retries the product installation there.
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
    rig.workflow->setStateCode(WorkflowState::kProductInstall);
    rig.workflow->setInstallLocation(row.location);
    rig.workflow->setCurrentUIAction(UIAction::kLocationChosen);
    rig.workflow->runStep();
    EXPECT_EQ(rig.view.names(), row.view) << row.location;
    EXPECT_EQ(rig.applets.actions(), row.applet) << row.location;
    if (!row.applet.empty()) continue;
    EXPECT_EQ(rig.view.last("showPathErrorAlert").args,
              (Args{"InstallLocationTitleLockedPathErr", "InstallLocationLockedPathErr", "/bad6",
                    "true", ""}));
    EXPECT_EQ(rig.workflow->uiAction(), UIAction::kBlocked);
  }
}

}  // namespace
