#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "core/context/ContextParts.h"
#include "mediation/ipc/CommunicationBridge.h"
#include "mediation/ipc/GatewayHost.h"

// The process's end of the link between the user's process and its elevated silent copy. At
// start-up it decides whether a link is needed (a user's process with administrator rights needs
// none), elevates, and runs a worker thread that connects the channel (context 1 in the user's
// process, 3 in the copy), sends the init document and dispatches every packet it receives to the
// host's view mediator, workflow, proxy credentials and analytics (GatewayHost.h). Logs with
// module "Bootstrapper", component "MessageGateway".
//
// Packet types: 1 init, 2 view message from the page, 3 view command to the page, 4 and 5
// terminate, 6 workflow state block, 7 proxy data, 8 progress estimate; others are skipped.
//
// Threads: InitMessageGateway and WaitForGatewayThread on the owner's thread; the senders from
// any thread (writes are serialised by the bridge). Dispatch runs on the worker. The gateway owns
// its host; the worker ends within about 100 ms of the host's quit or the gateway's destruction.
namespace mediation {

struct GatewaySettings {
  std::chrono::milliseconds connectTimeout{60000};
  std::chrono::milliseconds idlePause{100};  // between looks at an empty queue
  int sendWaitRounds = 10;                   // idle pauses a send waits for a link coming up
  BridgeSettings bridge;

  // The product's values with every wait scaled by WEND_TIME_SCALE.
  static GatewaySettings fromEnvironment();
};

class MessageGateway final : public IMessageGateway {
 public:
  enum PacketType : int {
    kInit = 1,
    kMessageFromView = 2,
    kMessageToView = 3,
    kTerminate = 4,
    kInvalidParent = 5,
    kWorkflowState = 6,
    kProxyData = 7,
    kProgressEstimate = 8,
  };

  explicit MessageGateway(std::unique_ptr<IGatewayHost> host,
                          GatewaySettings settings = GatewaySettings::fromEnvironment());
  ~MessageGateway() override;
  MessageGateway(const MessageGateway&) = delete;
  MessageGateway& operator=(const MessageGateway&) = delete;

  // Administrator and not silent: true, no link. Neither: creates the channel's FIFOs, elevates
  // and starts the worker (false when elevation is refused). Administrator and silent: starts the
  // worker. Silent without administrator rights: false. True only when the worker started.
  bool InitMessageGateway(const CommandLineParser& commandLine) override;
  void WaitForGatewayThread() override;

  // 0 sent or no link needed; -4 when the link is down, or still not up after about 1 s;
  // otherwise the bridge's write result.
  int sendPacket(int type, const std::string& text) override;
  void sendInitPacket() override;
  void sendMessageToOtherViewMediator(const std::string& name, const std::string& data,
                                      bool fromView) override;
  void sendProxyData() override;
  LinkState linkState() const override { return state_.load(); }

  bool connected() const { return connected_.load(); }
  const std::string& pipeName() const { return pipeName_; }

 private:
  bool startWorker();
  void workerThread();
  bool dispatch(const CommunicationBridge::CBPacket& packet);
  void adoptInit(const std::string& text);
  void adoptProxyData(const std::string& text);
  // Waits one idle pause; false when the gateway is stopping.
  bool idle();
  bool stopping() const;

  const GatewaySettings settings_;
  const std::unique_ptr<IGatewayHost> host_;
  std::atomic<bool> started_{false};  // InitMessageGateway has been called
  std::string pipeName_;              // fixed once InitMessageGateway has read it
  bool linkNeeded_ = true;            // false in an administrator's user process
  std::atomic<bool> connected_{false};
  std::atomic<LinkState> state_{LinkState::kLinking};
  CommunicationBridge bridge_;
  std::thread worker_;

  mutable std::mutex stopMutex_;
  std::condition_variable stopWake_;  // with stopMutex_
  bool stop_ = false;                 // guarded by stopMutex_
};

}  // namespace mediation
