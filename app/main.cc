// The installer's process entry and composition root: it builds the application context and runs
// the one launch mode its command line selects. Every mode ends with the context's teardown and
// exit status 0; the user's install mode returns what the application shell returns, and 1 when
// there is no display. SIGTERM is a quit in both install modes: the shell's windows hear it in the
// user's process, a termination watch in the elevated copy.
#include <signal.h>

#include <cstdio>
#include <memory>
#include <string>

#include "app/ApplicationShell.h"
#include "applets/AppletHostParts.h"
#include "core/context/ApplicationContext.h"
#include "core/context/StandInParts.h"
#include "core/install/DesktopAppLaunch.h"
#include "core/launch/DesktopApp.h"
#include "core/launch/LaunchEvent.h"
#include "core/launch/LaunchModes.h"
#include "foundation/files/FileUtils.h"
#include "foundation/logging/LogCallback.h"
#include "foundation/text/StringUtils.h"
#include "foundation/threads/TerminationWatch.h"
#include "mediation/ipc/MediationParts.h"
#include "mediation/view/ViewMediators.h"
#include "services/OnlineServices.h"

namespace {

constexpr char kComponent[] = "main";

std::string argument(const ApplicationContext& context, const char* key) {
  std::string value;
  context.commandLine.getArgumentValue(key, value);
  return value;
}

bool hasBoth(const ApplicationContext& context, const char* first, const char* second) {
  return context.commandLine.hasArgument(first) && context.commandLine.hasArgument(second);
}

int finish(int status = 0) {
  ApplicationContext::Destroy();
  return status;
}

void extractEmbeddedData(ApplicationContext& context) {
  std::string json;
  if (context.ExtractEmbeddedData(json)) {
    FileUtils::CreateFileWithContentAtPath(argument(context, "outputPath"), json);
  } else {
    std::fputs("Embedded data not found.", stdout);
  }
}

void runHelperModes(ApplicationContext& context) {
  const LaunchSettings settings = LaunchSettings::fromEnvironment();
  if (hasBoth(context, "parentPID", "volumeName")) {
    unmountVolumeAfterParentExit(
        argument(context, "volumeName"),
        StringUtils::utilConvertStringToInt(argument(context, "parentPID")), settings);
  }
  if (hasBoth(context, "productPID", "wendExp")) {
    runProductQuitMode(argument(context, "wendExp"),
                       StringUtils::utilConvertStringToInt(argument(context, "productPID")),
                       settings);
  }
  cleanupTempFolder();
}

bool initMessageGateway(ApplicationContext& context, int argc, char** argv) {
  if (context.InitMessageGateway(argc, argv)) return true;
  sendLaunchEvent("lbs-init-failure");
  return false;
}

void quitAfterSignal() {
  LogCallback(pando::kLogInfo, kBootstrapperModule, kComponent, "", "",
              "SIGTERM received: quitting");
  ApplicationContext::RequestQuit();
}

// The elevated copy runs the workflow's administrator states until the quit ends its link. It has
// no toolkit loop to hear SIGTERM: the watch makes the signal the process's quit, so the copy ends
// as a quit ends it (workflow and link stopped, locks given back, temporary folder removed, the
// log's end banner written). The watch lasts through the teardown, which a second signal must not
// cut short.
int runElevatedCopy(ApplicationContext& context, int argc, char** argv) {
  pando::TerminationWatch quitOnSignal(quitAfterSignal);
  if (!quitOnSignal.watching()) {
    LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                "SIGTERM cannot be watched: it ends this process at once");
  }
  if (!initMessageGateway(context, argc, argv)) return finish();
  context.StartWorkflow();
  context.messageGateway->WaitForGatewayThread();
  return finish();
}

}  // namespace

int main(int argc, char** argv) {
  // A peer that goes away must fail a write, not end the process; libcurl leaves signals alone.
  signal(SIGPIPE, SIG_IGN);
  // Made before the context and gone after its teardown, which destroys the mediator that drives
  // the windows.
  ApplicationShell shell;
  // The context's parts: the online services, the applet host, both processes' view mediators
  // and the two-process link, over the bundle's resources.
  ApplicationContext::SetPartsFactory(
      mediation::withMediation(shell.withInterface(mediation::withViewMediators(
          applets::withAppletHost(withOnlineServices(std::make_unique<StandInPartsFactory>()))))));
  ApplicationContext* context = ApplicationContext::GetInstance();
  if (!context->Initialize(argc, argv)) {
    sendLaunchEvent("lbs-init-failure");
    return finish();
  }
  if (hasBoth(*context, "extractEmbeddedData", "outputPath")) {
    extractEmbeddedData(*context);
    return finish();
  }
  if (hasBoth(*context, "parentPID", "volumeName") || hasBoth(*context, "productPID", "wendExp")) {
    runHelperModes(*context);
    return finish();
  }
  if (!context->isSilent) sendLaunchEvent("lbs-launch");
  if (!context->isTestWorkflow && FileUtils::fileExistsAtPath(desktopAppExecutablePath())) {
    sendLaunchEvent("lbs-brann-launch");
    DesktopAppLaunch(context->desktopAppLaunchInputs()).launchDesktopApp(false);
    return finish();
  }
  if (context->isSilent) return runElevatedCopy(*context, argc, argv);
  // Without a display the user's process ends here, before an elevated copy is started. Its
  // windows hear SIGTERM as a quit.
  if (!shell.open(*context)) return finish(kNoDisplayExitStatus);
  sendLaunchEvent("lbs-workflow-start");
  if (!initMessageGateway(*context, argc, argv)) return finish();
  return finish(shell.run());
}
