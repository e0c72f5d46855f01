#pragma once

#include <string>

// The elevated relaunch: asks the elevation tool (platform Tool::kElevation, pkexec unless
// overridden) to start this executable itself, no shell, again with administrator rights and the
// single argument "--pipename=<pipeName>", detached, with no standard streams (ElevatedStart.h).
// Blocks while the tool asks the user for a password. Logs with module "Bootstrapper", component
// "MessageGatewayMac". Any thread; called once per process by the gateway.
namespace mediation {

class MessageGatewayMac {
 public:
  // True when the tool started the copy. False when the user
  // cancelled (tool status 126), the tool is missing, or it refused or failed in any other way;
  // an executable that cannot run is refused before the tool is asked. `executable` defaults to the
  // running one.
  static bool launchPrivilegedHelper(const std::string& pipeName,
                                     const std::string& executable = "");
  // This process's executable file, "" when it cannot be read.
  static std::string ownExecutable();
};

}  // namespace mediation
