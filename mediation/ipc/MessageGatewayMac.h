#pragma once

#include <string>

// The elevated relaunch: asks the elevation tool (platform Tool::kElevation, pkexec unless
// overridden) to start this executable again with administrator rights and the single argument
// "--pipename=<pipeName>", detached, with no standard streams. Blocks while the tool asks the user
// for a password. Logs with module "Bootstrapper", component "MessageGatewayMac". Any thread;
// called once per process by the gateway.
namespace mediation {

class MessageGatewayMac {
 public:
  // True when the tool reported that the copy was started (exit status 0). False when the user
  // cancelled (tool status 126), the tool is missing, or it refused or failed in any other way,
  // the copy's executable not being runnable included. `executable` defaults to the running one.
  static bool launchPrivilegedHelper(const std::string& pipeName,
                                     const std::string& executable = "");
  // This process's executable file, "" when it cannot be read.
  static std::string ownExecutable();
};

}  // namespace mediation
