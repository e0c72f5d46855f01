#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/config/ConfigStore.h"
#include "core/context/ContextParts.h"
#include "core/install/TarnInstallationLock.h"
#include "core/workflow/RelaunchCopy.h"
#include "core/workflow/WorkflowSteps.h"

namespace pando {
class AbstractLogger;
}

// What the launch of the desktop application reads; the referenced objects outlive it.
struct DesktopAppLaunchInputs {
  explicit DesktopAppLaunchInputs(ConfigStore& store) : config(store) {}

  ConfigStore& config;
  std::string workflowId;           // the context's; the workflow-id file's GUID when empty
  std::string installerWorkflowId;  // the context's lbsInstallerWorkflowID, likewise
  std::function<std::shared_ptr<IAnalytics>()> analytics;
  IInstallHelper* installHelper = nullptr;  // takes the reinit; null outside the workflow
  pando::AbstractLogger* logger = nullptr;
  std::string executablePath;      // the desktop application; "" for its installed place
  std::string productInfoFolder;   // where "productInfo.xml" goes; "" for special folder 15
  std::string launchAgentSupport;  // Application Support (machine); "" for special folder 2
  bool asRoot = false;             // runs launchctl through "sudo -u <console user>"
  std::shared_ptr<TarnInstallationLock> installLock;
  RelaunchInputs relaunch;
  // Starts the application; as an application (activated) unless `fromWorkflow`. The product's
  // launcher by default.
  std::function<void(const std::string& path, const std::vector<std::string>& arguments,
                     bool fromWorkflow)>
      launch;
};

// The end of an installation: the launch of the installed desktop application with its
// arguments, its launch agent, the installation lock's release and the relaunch from a
// temporary copy that detaches the disk image. Also the start-up launch of an application that
// is already installed (launchDesktopApp(false)). Failures are only logged.
//
// Threads: the workflow thread, or main for the start-up launch.
class DesktopAppLaunch final : public IDesktopAppLaunch {
 public:
  static constexpr char kLaunchAgentName[] = "com.orvel.OrvelSkyloom.plist";

  explicit DesktopAppLaunch(DesktopAppLaunchInputs inputs);

  void launchDesktopApp() override { launchDesktopApp(true); }
  // From the workflow: "--showwindow=false" and "--helperBridgeName=" with the UUID the second
  // install helper is reinitialised with. Otherwise "--appletID=", "--appletVersion=" and, when
  // "productInfo.xml" could be written, "--inputXmlPath=". Then both workflow ids. Always true.
  bool launchDesktopApp(bool fromWorkflow);
  // Runs "launchctl load -wF <plist>" as the console user when the agent's plist is there.
  void loadLaunchAgent() override;
  void releaseInstallLock() override;
  void relaunchFromTempLocation() override;

  // "<desktop-application folder>/Tarn/Skyloom.app/Contents/MacOS/Skyloom"; "" when the folder
  // cannot be found.
  static std::string installedExecutablePath();

 private:
  std::string workflowIdOf(const std::string& configured, int kind) const;

  DesktopAppLaunchInputs inputs_;
};
