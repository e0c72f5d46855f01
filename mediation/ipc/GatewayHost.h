#pragma once

#include <memory>
#include <string>

#include "core/context/ContextParts.h"

// What the message gateway reaches of its process besides the channel: the process's role, its
// quit flag, the parts it hands packets to and the values it sends and adopts. The gateway is
// given one when it is made and owns it; the program's one answers from the application context
// (contextGatewayHost), tests pass their own.
//
// Threads: any method may be called from the gateway's worker and from its senders' threads.
// The role is asked first, by InitMessageGateway, before the worker starts. Parts are returned
// null while the process has made none; the shared values live as long as the host.
namespace mediation {

class IGatewayHost {
 public:
  virtual ~IGatewayHost() = default;

  virtual bool isAdmin() const = 0;
  // The elevated copy of the user's process.
  virtual bool isSilent() const = 0;
  virtual bool quitRequested() const = 0;

  virtual IViewMediator* viewMediator() const = 0;
  virtual IWorkflowPackets* workflowPackets() const = 0;
  virtual std::shared_ptr<IAnalytics> analytics() const = 0;

  virtual SharedInstallHelperChannels& installHelperChannels() const = 0;
  virtual SharedProxyCredentials& proxyCredentials() const = 0;
  // The signed-in user's GUID, "" before sign-in.
  virtual std::string userGuid() const = 0;
  virtual std::string tempLocation() const = 0;
  // The analytics session both processes report under.
  virtual std::string sessionId() const = 0;
  virtual void setSessionId(const std::string& sessionId) = 0;
};

// The host of the program's gateway: the application context, looked up once, when the role is
// first asked (the context makes its gateway while it is itself being made).
std::unique_ptr<IGatewayHost> contextGatewayHost();

}  // namespace mediation
