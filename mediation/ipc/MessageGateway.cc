#include "mediation/ipc/MessageGateway.h"

#include <system_error>

#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/ComponentLog.h"
#include "foundation/logging/LogLine.h"
#include "foundation/text/CommandLineParser.h"
#include "foundation/text/StringUtils.h"
#include "foundation/xml/XMLParser.h"
#include "mediation/ipc/MessageGatewayMac.h"
#include "platform/system/ConsoleUser.h"
#include "platform/system/TimeScale.h"

namespace mediation {
namespace {

constexpr pando::ComponentLog kLog{"MessageGateway"};

// A document of one root and one text child per field, in the given order.
std::string document(const char* root,
                     std::initializer_list<std::pair<const char*, std::string>> fields) {
  XMLParser parser;
  XMLNode rootNode = nullptr;
  std::string xml;
  if (!parser.initWithXMLString(root) || !parser.getRootNode(rootNode)) return xml;
  for (const auto& [name, value] : fields) parser.addChildToNode(name, value, rootNode);
  parser.getXMLString(xml);
  return xml;
}

void sendEvent(const IGatewayHost& host, const char* eventType) {
  if (std::shared_ptr<IAnalytics> analytics = host.analytics()) {
    analytics->sendServiceEvent(eventType);
  }
}

}  // namespace

GatewaySettings GatewaySettings::fromEnvironment() {
  const double factor = platform::timeScaleFromEnvironment();
  GatewaySettings settings;
  auto scale = [factor](std::chrono::milliseconds duration) {
    return std::chrono::milliseconds(static_cast<int64_t>(duration.count() * factor));
  };
  settings.connectTimeout = scale(settings.connectTimeout);
  settings.idlePause = scale(settings.idlePause);
  settings.bridge = settings.bridge.scaled(factor);
  return settings;
}

MessageGateway::MessageGateway(std::unique_ptr<IGatewayHost> host, GatewaySettings settings)
    : settings_(std::move(settings)), host_(std::move(host)), bridge_(settings_.bridge) {
  StringUtils::utilCreateUUIDString(pipeName_);
}

MessageGateway::~MessageGateway() {
  kLog(pando::kLogDebug, "Waiting for IPC channel to terminate.");
  {
    std::lock_guard lock(stopMutex_);
    stop_ = true;
  }
  stopWake_.notify_all();
  if (worker_.joinable()) worker_.join();
  if (bridge_.initialized()) bridge_.closePipes();
}

bool MessageGateway::InitMessageGateway(const CommandLineParser& commandLine) {
  std::string name;
  if (commandLine.getArgumentValue("pipename", name)) pipeName_ = name;
  const bool admin = host_->isAdmin();
  const bool silent = host_->isSilent();
  started_ = true;
  if (!admin && silent) {
    kLog.tagged(pando::kLogError, "InitMessageGateway", "Not admin and child process. Error case.");
    state_ = LinkState::kDown;
    return false;
  }
  if (admin && !silent) {
    linkNeeded_ = false;
    sendEvent(*host_, "lbs-security-prompt-skipped");
    kLog(pando::kLogInfo, "Admin and not child process. No need for IPC");
    return true;
  }
  if (!admin) {
    sendEvent(*host_, "lbs-security-prompt");
    // The FIFOs are ours before the elevated copy learns their name, so it can insist on that.
    if (CommunicationBridge::createPipes(pipeName_) != CommunicationBridge::kOk ||
        !MessageGatewayMac::launchPrivilegedHelper(pipeName_)) {
      sendEvent(*host_, "lbs-security-prompt-no");
      state_ = LinkState::kDown;
      return false;
    }
    sendEvent(*host_, "lbs-security-prompt-yes");
  } else {
    kLog(pando::kLogTrace, "Validating parent process");
  }
  return startWorker();
}

bool MessageGateway::startWorker() {
  try {
    worker_ = std::thread(&MessageGateway::workerThread, this);
    return true;
  } catch (const std::system_error&) {
    kLog.tagged(pando::kLogError, "InitMessageGateway", "Failed to start the worker Thread");
    kLog.tagged(pando::kLogError, "InitMessageGateway",
                "Failed to start listening to IPC Packets.");
    state_ = LinkState::kDown;
    return false;
  }
}

void MessageGateway::WaitForGatewayThread() {
  kLog(pando::kLogDebug, "Waiting for IPC channel to terminate.");
  if (worker_.joinable()) worker_.join();
}

bool MessageGateway::stopping() const {
  if (host_->quitRequested()) return true;
  std::lock_guard lock(stopMutex_);
  return stop_;
}

bool MessageGateway::idle() {
  std::unique_lock lock(stopMutex_);
  stopWake_.wait_for(lock, settings_.idlePause, [this] { return stop_; });
  return !stop_;
}

void MessageGateway::workerThread() {
  connected_ = false;
  const bool silent = host_->isSilent();
  // The elevated copy insists that the FIFOs belong to the user at the screen, who made them.
  uid_t owner = CommunicationBridge::kOwnUid;
  platform::ConsoleUser user;
  if (silent && platform::findConsoleUser(user)) owner = user.uid;
  const int connect = bridge_.initCommBridge(
      silent ? 3 : 1, pipeName_, true, static_cast<unsigned>(settings_.connectTimeout.count()),
      [this] { return stopping(); }, owner);
  if (connect != CommunicationBridge::kConnected) {
    kLog.tagged(pando::kLogError, "IPCCommunications", "Error initializing IPC");
    state_ = LinkState::kDown;
    return;
  }
  connected_ = true;
  sendInitPacket();
  // Whoever waits for the link sends after the init document, which the copy must see first.
  state_ = LinkState::kConnected;
  while (!stopping()) {
    CommunicationBridge::CBPacket packet;
    const int got = bridge_.getPacket(packet);
    if (got < 0) {
      kLog.tagged(pando::kLogError, "IPCCommunications", "Error reading packet : %d", got);
      break;
    }
    if (got == CommunicationBridge::kOk) {
      if (!dispatch(packet)) break;
      continue;  // the queue is drained before the worker rests
    }
    if (!idle()) break;
  }
  connected_ = false;
  state_ = LinkState::kDown;
  if (bridge_.closeBridge() == CommunicationBridge::kOk) {
    kLog(pando::kLogTrace, "Successfully closed IPC channel");
  }
}

bool MessageGateway::dispatch(const CommunicationBridge::CBPacket& packet) {
  switch (packet.type) {
    case kInit:
      if (host_->isSilent()) adoptInit(packet.data);
      return true;
    case kMessageFromView:
    case kMessageToView: {
      XMLParser parser;
      std::string name, data;
      if (parser.initWithXMLString(packet.data)) {
        parser.stringValueForXQuery("/msg/message", name);
        parser.stringValueForXQuery("/msg/data", data);
      }
      const bool fromView = packet.type == kMessageFromView;
      kLog(pando::kLogInfo, "Message received from other viewMediator: '%s' fromView:%d",
           pando::escapedForLog(name).c_str(), fromView ? 1 : 0);
      if (IViewMediator* view = host_->viewMediator()) {
        if (fromView) {
          view->onMessageFromView(name, data);
        } else {
          view->sendMessageToView(name, data);
        }
      }
      return true;
    }
    case kTerminate:
    case kInvalidParent:
      bridge_.closePipes();
      kLog(pando::kLogInfo, "Error CB_PktID_Terminate");
      connected_ = false;
      state_ = LinkState::kDown;
      return false;
    case kWorkflowState:
      if (IWorkflowPackets* workflow = host_->workflowPackets()) {
        workflow->onProgressStatePacket(packet.data);
      }
      return true;
    case kProxyData:
      adoptProxyData(packet.data);
      return true;
    case kProgressEstimate:
      if (IWorkflowPackets* workflow = host_->workflowPackets()) {
        workflow->onProductProgressStatePacket(packet.data);
      }
      return true;
    default:
      kLog(pando::kLogInfo, "Unhandled IPC message: %d", static_cast<int>(packet.type));
      return true;
  }
}

void MessageGateway::adoptInit(const std::string& text) {
  XMLParser parser;
  if (!parser.initWithXMLString(text)) return;
  // The install helper's channel names end up in paths: only UUID text is taken.
  InstallHelperChannels channels = host_->installHelperChannels().get();
  for (auto [query, name] : {std::pair{"/init/installHelperPipeName", &channels.first},
                             std::pair{"/init/installHelper2PipeName", &channels.second}}) {
    std::string value;
    if (!parser.stringValueForXQuery(query, value) || value.empty()) continue;
    if (CommunicationBridge::isValidName(value)) {
      *name = value;
    } else {
      kLog(pando::kLogWarn, "Refused install helper pipe name '%s'",
           pando::escapedForLog(value).c_str());
    }
  }
  host_->installHelperChannels().set(channels);
  std::string sessionId, userGuid;
  parser.stringValueForXQuery("/init/sessionId", sessionId);
  parser.stringValueForXQuery("/init/userGuid", userGuid);
  host_->setSessionId(sessionId);
  if (std::shared_ptr<IAnalytics> analytics = host_->analytics()) analytics->setUserGuid(userGuid);
}

void MessageGateway::adoptProxyData(const std::string& text) {
  XMLParser parser;
  if (!parser.initWithXMLString(text)) return;
  ProxyCredentials credentials = host_->proxyCredentials().get();
  parser.stringValueForXQuery("//username", credentials.userName);
  parser.stringValueForXQuery("//password", credentials.password);
  std::string remember;
  parser.stringValueForXQuery("//remember", remember);
  credentials.remember = remember == "true";
  host_->proxyCredentials().set(credentials);
  if (IViewMediator* view = host_->viewMediator()) {
    view->setProxyCredentials(credentials.userName, credentials.password);
  }
  if (std::shared_ptr<IAnalytics> analytics = host_->analytics()) {
    analytics->setProxyCredentials(credentials.userName, credentials.password);
  }
}

int MessageGateway::sendPacket(int type, const std::string& text) {
  if (!linkNeeded_) return CommunicationBridge::kOk;
  for (int round = 0; !bridge_.initialized(); ++round) {
    // A link that is gone does not come back: no point in waiting for it.
    if (state_ == LinkState::kDown || round >= settings_.sendWaitRounds || !idle()) {
      return CommunicationBridge::kNotInitialized;
    }
  }
  CommunicationBridge::CBPacket packet;
  packet.type = static_cast<uint32_t>(type);
  packet.id = CommunicationBridge::kSenderId;
  packet.data = text;
  packet.size = static_cast<uint32_t>(text.size() + 1);
  return bridge_.writePacket(packet);
}

void MessageGateway::sendInitPacket() {
  if (!started_ || host_->isSilent()) return;
  const InstallHelperChannels channels = host_->installHelperChannels().get();
  sendPacket(kInit, document("<init/>", {{"tempLocation", host_->tempLocation()},
                                         {"installHelperPipeName", channels.first},
                                         {"installHelper2PipeName", channels.second},
                                         {"sessionId", host_->sessionId()},
                                         {"userGuid", host_->userGuid()}}));
}

void MessageGateway::sendMessageToOtherViewMediator(const std::string& name,
                                                    const std::string& data, bool fromView) {
  kLog(pando::kLogInfo, "Sending message to other viewMediator: '%s' fromView:%d",
       pando::escapedForLog(name).c_str(), fromView ? 1 : 0);
  sendPacket(fromView ? kMessageFromView : kMessageToView,
             document("<msg/>", {{"message", name}, {"data", data}}));
}

void MessageGateway::sendProxyData() {
  if (!started_) return;
  const ProxyCredentials credentials = host_->proxyCredentials().get();
  sendPacket(kProxyData,
             document("<proxydata/>", {{"username", credentials.userName},
                                       {"password", credentials.password},
                                       {"remember", credentials.remember ? "true" : "false"}}));
}

}  // namespace mediation
