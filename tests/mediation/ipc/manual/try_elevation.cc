// The elevated relaunch with the real elevation tool, for a person at a desktop with a polkit
// agent (scripts/try-elevation). Without arguments it is the user's process: it makes a channel,
// has itself started elevated and prints the first text its copy sends, or
// "lbs-security-prompt-no" when elevation was refused. Started as "--pipename=NAME" it is the
// copy: it links as the elevated end, insisting on FIFOs of the user at the screen, and sends
// "euid=" with its effective user id.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "foundation/text/StringUtils.h"
#include "mediation/ipc/CommunicationBridge.h"
#include "mediation/ipc/MessageGatewayMac.h"
#include "platform/system/ConsoleUser.h"

using mediation::CommunicationBridge;

namespace {

// The next packet's text; "" when the channel ends first or nothing comes within a minute.
std::string nextText(CommunicationBridge& bridge) {
  for (int round = 0; round < 6000; ++round) {
    CommunicationBridge::CBPacket packet;
    const int got = bridge.getPacket(packet);
    if (got == CommunicationBridge::kOk) return packet.data;
    if (got < 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return "";
}

int runCopy(const std::string& name) {
  platform::ConsoleUser user;
  if (!platform::findConsoleUser(user)) return 2;
  CommunicationBridge bridge;
  if (bridge.initCommBridge(3, name, true, 20000, {}, user.uid) != 0) return 3;
  const std::string text = "euid=" + std::to_string(geteuid());
  bridge.writePacket({2, CommunicationBridge::kSenderId, 0, text});
  nextText(bridge);  // until the user's process closes the channel
  bridge.closeBridge();
  return 0;
}

int runUser() {
  std::string name;
  if (!StringUtils::utilCreateUUIDString(name) ||
      CommunicationBridge::createPipes(name) != CommunicationBridge::kOk) {
    return 2;
  }
  if (!mediation::MessageGatewayMac::launchPrivilegedHelper(name)) {
    std::puts("lbs-security-prompt-no");
    return 1;
  }
  CommunicationBridge bridge;
  if (bridge.initCommBridge(1, name, true, 60000) != 0) return 3;
  std::puts(nextText(bridge).c_str());
  bridge.closeBridge();
  unlink(("/tmp/" + name + "_IN").c_str());
  unlink(("/tmp/" + name + "_OUT").c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strncmp(argv[1], "--pipename=", 11) == 0) return runCopy(argv[1] + 11);
  return runUser();
}
