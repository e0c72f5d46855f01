#include "mediation/helper/InstallHelperInterface.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "foundation/logging/ComponentLog.h"
#include "foundation/text/StringUtils.h"
#include "foundation/xml/XMLParser.h"
#include "mediation/helper/AuthTokenWords.h"
#include "mediation/helper/MD5Signature.h"

namespace mediation {
namespace {

constexpr pando::ComponentLog kLog{"InstallHelperInterface"};

std::string freshUuid() {
  std::string name;
  StringUtils::utilCreateUUIDString(name);
  return name;
}

}  // namespace

InstallHelperInterface::InstallHelperInterface()
    : InstallHelperInterface(InstallHelperSettings{}, systemHelperFolders(),
                             pando::WallClock::system()) {}

InstallHelperInterface::InstallHelperInterface(InstallHelperSettings settings,
                                               std::unique_ptr<IHelperFolders> folders,
                                               const pando::WallClock& clock,
                                               std::function<std::string()> newChannelName)
    : settings_(std::move(settings)),
      folders_(std::move(folders)),
      clock_(clock),
      newChannelName_(newChannelName ? std::move(newChannelName) : freshUuid),
      bridge_(std::make_unique<CommunicationBridge>(settings_.bridge)) {}

InstallHelperInterface::~InstallHelperInterface() {
  // The channel of a direct handshake is still open here; its reader must end before the bridge.
  if (bridge_ && bridge_->initialized()) bridge_->closeBridge();
  bridge_.reset();
}

void InstallHelperInterface::setQuitCheck(std::function<bool()> quitRequested) {
  quitRequested_ = std::move(quitRequested);
}

bool InstallHelperInterface::LaunchInstallHelper(const std::string& reinitPipeName) {
  const HelperLocation location = findInstallHelper(*folders_, geteuid() == 0);
  if (!location.found) {
    kLog(pando::kLogWarn, "Install Helper does not exists at path '%s'", location.path.c_str());
    return false;
  }
  kLog(pando::kLogInfo, "Install Helper Path is %s", location.path.c_str());

  const std::string channel = newChannelName_();
  helperReaped_ = false;
  if (helper_.spawn(location.startPath, {"--pipename=" + channel}, {}) != 0) {
    kLog(pando::kLogWarn, "Failed to execute the Install Helper process!");
    return false;
  }
  if (!Handshake(channel)) {
    kLog(pando::kLogWarn, "Handshake with QuarryHelper failed");
    endHelper();
    return false;
  }
  elevated_ = true;
  SendReinit(reinitPipeName);
  bridge_->closeBridge();
  // It serves the REINIT name from now on; a background reaper collects it when it ends.
  helper_ = platform::ChildProcess();
  return true;
}

bool InstallHelperInterface::Handshake(const std::string& channelName) {
  if (bridge_->initCommBridge(1, channelName, true, settings_.connectWaitMs,
                              [this] { return shouldStop(); }) != CommunicationBridge::kConnected) {
    kLog(pando::kLogWarn, "Problem initializing Communication Channel.");
    return false;
  }
  const char* failure = exchange();
  if (failure) {
    kLog(pando::kLogWarn, "%s", failure);
    bridge_->closeBridge();
    return false;
  }
  return true;
}

const char* InstallHelperInterface::exchange() {
  std::string text;
  if (!WaitForPacket(text, settings_.syncWaitMs)) return "Did not receive SYNC pkt.";
  if (!ValidateSyncPacket(text)) return "Validation of SYNC pkt failed!";
  if (!SendAuthPacket()) return "Could not send AUTH pkt.";
  text.clear();
  if (!WaitForPacket(text, settings_.authRespWaitMs)) return "Did not receive AUTH_RESP pkt";
  if (!ValidateAuthRespPacket(text)) return "Validation of AUTH_RESP pkt failed";
  return nullptr;
}

bool InstallHelperInterface::SendReinit(const std::string& newPipeName) {
  if (newPipeName.empty()) return false;
  CommunicationBridge::CBPacket packet;
  packet.type = kMessageType;
  packet.id = kMessageId;
  packet.data = buildMessage({{"msgId", "REINIT"}, {"pipeName", newPipeName}});
  packet.size = static_cast<uint32_t>(packet.data.size() + 1);
  return !packet.data.empty() && bridge_->writePacket(packet) == CommunicationBridge::kOk;
}

bool InstallHelperInterface::WaitForPacket(std::string& text, unsigned timeoutMs) {
  const unsigned polls = timeoutMs / kPollMs;
  for (unsigned poll = 0; poll < polls; ++poll) {
    CommunicationBridge::CBPacket packet;
    const int result = bridge_->getPacket(packet);
    if (result == CommunicationBridge::kOk) {
      text = std::move(packet.data);
      return true;
    }
    if (result < 0) {
      kLog(pando::kLogWarn, "ReadPacket returned error : %d", result);
      break;
    }
    if (shouldStop()) break;
    pauseOnePoll();
  }
  kLog(pando::kLogWarn, "time out in reading from pipe");
  return false;
}

bool InstallHelperInterface::ValidateSyncPacket(const std::string& text) {
  XMLParser parser;
  std::string id;
  return parser.initWithXMLString(text) && parser.stringValueForXQuery("/msg/msgId", id) &&
         id == "SYNC";
}

bool InstallHelperInterface::SendAuthPacket() {
  const std::string token = MakeAuthToken();
  // The token is a credential for the rest of the minute: it never goes into the log.
  CommunicationBridge::CBPacket packet;
  packet.type = kMessageType;
  packet.id = kMessageId;
  packet.data = BuildAuthMessage(token, getpid());
  packet.size = static_cast<uint32_t>(packet.data.size() + 1);
  // A packet that was not written (a positive code) leaves nothing for the helper to answer.
  const int result = bridge_->writePacket(packet);
  if (result != CommunicationBridge::kOk) {
    kLog(pando::kLogError, "LoomM: error sending AUTH CBPacket : %d", result);
    return false;
  }
  return true;
}

bool InstallHelperInterface::ValidateAuthRespPacket(const std::string& text) {
  XMLParser parser;
  std::string value;
  if (!parser.initWithXMLString(text) || !parser.stringValueForXQuery("/msg/msgId", value) ||
      value != "AUTH_RESP") {
    return false;
  }
  if (!parser.stringValueForXQuery("/msg/eStatus", value)) return false;
  if (value == "false") {
    kLog(pando::kLogWarn, "Install Helper is not elevated");
    return false;
  }
  if (!parser.stringValueForXQuery("/msg/signStatus", value)) return false;
  if (value == "false") {
    kLog(pando::kLogWarn, "Install Helper is not genuine");
    return false;
  }
  return true;
}

std::string InstallHelperInterface::MakeAuthToken() const {
  return authTokenAt(static_cast<time_t>(clock_.nowMs() / 1000));
}

std::string InstallHelperInterface::BuildAuthMessage(const std::string& token, pid_t pid) {
  return buildMessage({{"msgId", "AUTH"}, {"token", token}, {"pid", std::to_string(pid)}});
}

std::string InstallHelperInterface::authTokenInput(time_t when) {
  struct tm utc = {};
  gmtime_r(&when, &utc);
  char time[32];
  snprintf(time, sizeof time, "%02d%02d%04d:%02d:%02d", utc.tm_mday, utc.tm_mon + 1,
           utc.tm_year + 1900, utc.tm_hour, utc.tm_min);
  return std::string(kAuthTokenPrefix) + time + kAuthTokenSuffix;
}

std::string InstallHelperInterface::authTokenAt(time_t when) {
  const std::string input = authTokenInput(when);
  std::string token;
  MD5Signature().getSignatureStringOfData(reinterpret_cast<const uint8_t*>(input.data()),
                                          input.size(), token);
  return token;
}

std::string InstallHelperInterface::buildMessage(
    const std::vector<std::pair<std::string, std::string>>& children) {
  XMLParser parser;
  XMLNode root = nullptr;
  if (!parser.initWithXMLString("<msg/>") || !parser.getRootNode(root) || !root) return "";
  for (const auto& [name, value] : children) {
    if (!parser.addChildToNode(name, value, root)) return "";
  }
  std::string text;
  return parser.getXMLString(text) ? text : "";
}

bool InstallHelperInterface::shouldStop() {
  return (quitRequested_ && quitRequested_()) || helperEnded();
}

bool InstallHelperInterface::helperEnded() {
  if (helperReaped_) return true;
  if (!helper_.running()) return false;
  if (helper_.exitFd() >= 0) {
    pollfd entry = {helper_.exitFd(), POLLIN, 0};
    return ::poll(&entry, 1, 0) > 0;
  }
  int status = 0;
  helperReaped_ = helper_.tryWait(status);
  return helperReaped_;
}

// The 10 ms between polls; the launch's helper ending cuts it short.
void InstallHelperInterface::pauseOnePoll() {
  pollfd entry = {helper_.running() ? helper_.exitFd() : -1, POLLIN, 0};
  ::poll(&entry, 1, static_cast<int>(kPollMs));
}

void InstallHelperInterface::endHelper() {
  if (!helper_.running()) return;
  ::kill(helper_.pid(), SIGTERM);
  bool ended = false;
  if (helper_.exitFd() >= 0) {
    pollfd entry = {helper_.exitFd(), POLLIN, 0};
    ended = ::poll(&entry, 1, static_cast<int>(settings_.endGrace.count())) > 0;
  }
  int status = 0;
  if (!ended && !helper_.tryWait(status)) helper_.kill();
  helper_.wait(status);
}

}  // namespace mediation
