// A test executable of this folder run as "<exe> --bridge-echo <name> <context>" (see startSelf)
// is the other process of a channel: it connects with its waits scaled by WEND_TIME_SCALE, writes
// every packet it receives back unchanged until the channel ends, and exits before any test
// starts: 0 after a clean end, 1 when it could not connect, 2 when a write back failed.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "mediation/ipc/CommunicationBridge.h"
#include "platform/system/TimeScale.h"
#include "tests/support/ChildEntry.h"

namespace {

int echo(const char* name, int context) {
  mediation::CommunicationBridge bridge(
      mediation::BridgeSettings{}.scaled(platform::timeScaleFromEnvironment()));
  if (bridge.initCommBridge(context, name, true, 20000) != 0) return 1;
  for (;;) {
    mediation::CommunicationBridge::CBPacket packet;
    const int got = bridge.getPacket(packet);
    if (got < 0 || (got == 0 && packet.type == mediation::CommunicationBridge::kTerminateType)) {
      bridge.closeBridge();
      return 0;
    }
    if (got == 1) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } else if (bridge.writePacket(packet) != 0) {
      return 2;
    }
  }
}

void actAsChild(int argc, char** argv, char**) {
  if (argc != 4 || std::strcmp(argv[1], "--bridge-echo") != 0) return;
  _exit(echo(argv[2], std::atoi(argv[3])));
}

WEND_CHILD_ENTRY(actAsChild);

}  // namespace
