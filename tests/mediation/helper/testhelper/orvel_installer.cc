// A stand-in for the install helper, started by InstallHelperInterface in tests as
// "ElevationManager/Orvel Installer". It serves the peer end (context 3) of the channel named by
// its one argument: SYNC, then AUTH checked against its own token and its parent's id, AUTH_RESP,
// then REINIT, after which it serves the new name with a fresh handshake, up to a few times. It
// exits once no peer comes or the peer goes away.
//
// Each wait for the peer lasts as long as the installer's own wait for the helper: for the peer
// to open its end of a channel as long as the installer waits for the helper to open its end, and
// for each message as long as the installer waits for the helper's first. The user's process
// hands over the second name only when it launches the desktop application, after the products'
// phase. Multi-process runs scale both with WEND_TIME_SCALE, as every other wait.
//
// TEST_HELPER_FAULT picks a misbehaviour (see answerFor and the modes below);
// TEST_HELPER_TRANSCRIPT names a file it appends JSON lines to, one per event;
// TEST_HELPER_PEER_WAIT_MS bounds each wait for the peer instead.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>

#include "foundation/json/FastWriter.h"
#include "foundation/json/Value.h"
#include "foundation/xml/XMLParser.h"
#include "mediation/helper/InstallHelperInterface.h"
#include "mediation/ipc/CommunicationBridge.h"
#include "mediation/ipc/PacketCodec.h"
#include "platform/system/ConsoleUser.h"
#include "platform/system/TimeScale.h"

namespace {

using mediation::CommunicationBridge;
using mediation::InstallHelperInterface;

constexpr int kMaxChannels = 3;
std::string fault;
int transcript = -1;
unsigned connectWaitMs = 0;  // for the peer to open its end of a channel
unsigned messageWaitMs = 0;  // for each message of the peer

unsigned scaled(unsigned milliseconds) {
  return static_cast<unsigned>(milliseconds * platform::timeScaleFromEnvironment());
}

void record(Json::Value line) {
  line["pid"] = static_cast<int>(getpid());
  const std::string text = Json::FastWriter().write(line);
  if (transcript >= 0 && write(transcript, text.data(), text.size()) < 0) {
    // Nothing to tell: the test sees the line missing.
  }
}

Json::Value event(const char* name) {
  Json::Value line;
  line["event"] = name;
  return line;
}

bool isUuid(const std::string& text) {
  if (text.size() != 36) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
    const char c = text[i];
    if (hyphen ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

bool send(CommunicationBridge& bridge, const std::string& text) {
  CommunicationBridge::CBPacket packet;
  packet.type = InstallHelperInterface::kMessageType;
  packet.id = InstallHelperInterface::kMessageId;
  packet.data = text;
  packet.size = static_cast<uint32_t>(text.size() + 1);
  return bridge.writePacket(packet) == CommunicationBridge::kOk;
}

// The next packet, false once the peer is gone or the wait is over.
bool receive(CommunicationBridge& bridge, CommunicationBridge::CBPacket& packet) {
  for (unsigned waited = 0; waited < messageWaitMs; waited += 10) {
    const int result = bridge.getPacket(packet);
    if (result == CommunicationBridge::kOk)
      return packet.type != CommunicationBridge::kTerminateType;
    if (result < 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

std::string valueOf(const XMLParser& parser, const char* query) {
  std::string value;
  parser.stringValueForXQuery(query, value);
  return value;
}

std::string syncFor() {
  if (fault == "sync") return InstallHelperInterface::buildMessage({{"msgId", "sync"}});
  if (fault == "not-xml") return "SYNC";
  return InstallHelperInterface::buildMessage({{"msgId", "SYNC"}});
}

std::string answerFor() {
  if (fault == "not-elevated") {
    return InstallHelperInterface::buildMessage(
        {{"msgId", "AUTH_RESP"}, {"eStatus", "false"}, {"signStatus", "false"}});
  }
  if (fault == "not-genuine") {
    return InstallHelperInterface::buildMessage(
        {{"msgId", "AUTH_RESP"}, {"eStatus", "true"}, {"signStatus", "false"}});
  }
  if (fault == "no-sign-status") {
    return InstallHelperInterface::buildMessage({{"msgId", "AUTH_RESP"}, {"eStatus", "true"}});
  }
  if (fault == "upper-true") {
    return InstallHelperInterface::buildMessage(
        {{"msgId", "AUTH_RESP"}, {"eStatus", "TRUE"}, {"signStatus", ""}});
  }
  return InstallHelperInterface::buildMessage(
      {{"msgId", "AUTH_RESP"}, {"eStatus", "true"}, {"signStatus", "true"}});
}

// A header announcing 100 bytes, ten of them, and death.
[[noreturn]] void dieMidPacket(const std::string& channel) {
  const int fd = open(("/tmp/" + channel + "_IN").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  unsigned char header[mediation::kPacketHeaderSize];
  mediation::encodeHeader(InstallHelperInterface::kMessageType, InstallHelperInterface::kMessageId,
                          100, header);
  if (fd < 0 || write(fd, header, sizeof header) < 0 || write(fd, "<msg><msgI", 10) < 0) _exit(4);
  record(event("dying"));
  raise(SIGKILL);
  _exit(4);
}

// One channel: true when REINIT named the next one.
bool serve(const std::string& channel, bool first, std::string& next) {
  mediation::BridgeSettings settings;
  settings.openRetryPause = std::chrono::milliseconds(20);
  CommunicationBridge bridge(settings);
  // The first channel comes from whoever started us; the one REINIT names, from the user's own
  // process, which runs as the console user when we were started elevated.
  uid_t owner = CommunicationBridge::kOwnUid;
  platform::ConsoleUser user;
  if (!first && platform::findConsoleUser(user)) owner = user.uid;
  if (bridge.initCommBridge(3, channel, true, connectWaitMs, {}, owner) !=
      CommunicationBridge::kConnected) {
    Json::Value line = event("no-peer");
    line["channel"] = channel;
    record(line);
    return false;
  }
  Json::Value connected = event("connected");
  connected["channel"] = channel;
  record(connected);
  CommunicationBridge::CBPacket packet;
  if (fault == "silence") {
    while (receive(bridge, packet)) {
    }
    return false;
  }
  send(bridge, syncFor());
  record(event("sent SYNC"));
  if (fault == "exit-after-sync") _exit(0);

  if (!receive(bridge, packet)) return false;
  XMLParser auth;
  auth.initWithXMLString(packet.data);
  Json::Value got = event("received");
  got["msgId"] = valueOf(auth, "/msg/msgId");
  got["token"] = valueOf(auth, "/msg/token");
  got["sender"] = valueOf(auth, "/msg/pid");
  got["type"] = static_cast<int>(packet.type);
  got["id"] = static_cast<int>(packet.id);
  record(got);
  // The token of this minute or the last, as the installer may have made it just before a turn.
  const time_t now = fault == "refuse-token" ? time(nullptr) + 7200 : time(nullptr);
  const std::string token = got["token"].asString();
  const bool tokenGood = token == InstallHelperInterface::authTokenAt(now) ||
                         token == InstallHelperInterface::authTokenAt(now - 60);
  const bool pidGood = !first || got["sender"].asString() == std::to_string(getppid());
  if (got["msgId"].asString() != "AUTH" || !tokenGood || !pidGood) {
    Json::Value refused = event("refused");
    refused["token"] = tokenGood;
    refused["parent"] = pidGood;
    record(refused);
    _exit(3);
  }
  if (fault == "die-mid-packet") dieMidPacket(channel);
  send(bridge, answerFor());
  record(event("sent AUTH_RESP"));

  if (!receive(bridge, packet)) return false;
  XMLParser reinit;
  reinit.initWithXMLString(packet.data);
  Json::Value line = event("received");
  line["msgId"] = valueOf(reinit, "/msg/msgId");
  line["pipeName"] = next = valueOf(reinit, "/msg/pipeName");
  line["type"] = static_cast<int>(packet.type);
  line["id"] = static_cast<int>(packet.id);
  record(line);
  bridge.closeBridge();
  return line["msgId"].asString() == "REINIT" && CommunicationBridge::isValidName(next);
}

}  // namespace

int main(int argc, char** argv) {
  // Our output would keep the test runner waiting for us after the test has ended.
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  dup2(null, 1);
  dup2(null, 2);
  if (const char* path = getenv("TEST_HELPER_TRANSCRIPT")) {
    transcript = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  }
  if (const char* mode = getenv("TEST_HELPER_FAULT")) fault = mode;
  const mediation::InstallHelperSettings installerWaits;
  connectWaitMs = scaled(installerWaits.connectWaitMs);
  messageWaitMs = scaled(installerWaits.syncWaitMs);
  if (const char* wait = getenv("TEST_HELPER_PEER_WAIT_MS")) {
    connectWaitMs = messageWaitMs = std::stoul(wait);
  }

  const std::string prefix = "--pipename=";
  Json::Value started = event("started");
  for (int i = 1; i < argc; ++i) started["args"].append(argv[i]);
  record(started);
  const std::string argument = argc == 2 ? argv[1] : "";
  if (argument.compare(0, prefix.size(), prefix) != 0 || !isUuid(argument.substr(prefix.size()))) {
    return 2;
  }
  std::string channel = argument.substr(prefix.size());
  for (int served = 0; served < kMaxChannels; ++served) {
    std::string next;
    if (!serve(channel, served == 0, next)) break;
    channel = next;
  }
  record(event("exit"));
  return 0;
}
