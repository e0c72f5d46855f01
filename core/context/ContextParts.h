#pragma once

#include <memory>
#include <string>

#include "core/context/AppletRecords.h"

class CommandLineParser;

// What the application context owns from the layers above the core (analytics, sign-in, survey,
// applet host, message gateway, view mediators) and the bundle it reads its resources from, each
// behind the little the context itself calls. The program's main wires one factory that builds
// the real parts; the context deletes every part it was given, in its teardown order. Parts are
// created, called and deleted on the thread that owns the context.

class IAnalytics {
 public:
  virtual ~IAnalytics() = default;
  // Queues the service event with this event type; no result. Any thread.
  virtual void sendServiceEvent(const std::string& eventType) = 0;
};

class ISignInProfile {
 public:
  virtual ~ISignInProfile() = default;
  // An upper-case environment name such as "PROD" or "STAGE".
  virtual void setEnvironment(const std::string& environment) = 0;
};

class IMessageGateway {
 public:
  virtual ~IMessageGateway() = default;
  virtual bool InitMessageGateway(const CommandLineParser& commandLine) = 0;
  // Returns once the gateway's thread has ended.
  virtual void WaitForGatewayThread() = 0;
};

class ISurveyManager {
 public:
  virtual ~ISurveyManager() = default;
};

// The applet host's message manager: installs the configured products on a thread of its own and
// reports through the start record's callback (AppletRecords.h). Called from the core's threads;
// FinalizeCore must not be called from inside the callback.
class IAppletMessageManager {
 public:
  virtual ~IAppletMessageManager() = default;
  // 0 when the product installation started, 1 otherwise.
  virtual int StartWorkflow(const ProductInstallArgs* args) = 0;
  // "retry" or "cancel" for the running product installation; other actions are ignored.
  virtual void HandleUserAction(const AppletUserAction* action) = 0;
  virtual void GetProductInfo(AppletProductInfo& info) = 0;
  // Ends the product installation; no callback runs once it has returned. The result is logged.
  virtual int FinalizeCore() = 0;
};

class IViewMediator {
 public:
  virtual ~IViewMediator() = default;
};

class IBundleResources {
 public:
  virtual ~IBundleResources() = default;
  // The resource `name`.`type` as text; false, `text` untouched, when it cannot be read.
  virtual bool readResource(const std::string& name, const std::string& type,
                            std::string& text) const = 0;
};

class IContextPartsFactory {
 public:
  virtual ~IContextPartsFactory() = default;
  virtual std::unique_ptr<IAnalytics> makeAnalytics() = 0;
  virtual std::unique_ptr<ISignInProfile> makeSignInProfile() = 0;
  virtual std::unique_ptr<IMessageGateway> makeMessageGateway() = 0;
  virtual std::unique_ptr<ISurveyManager> makeSurveyManager() = 0;
  virtual std::unique_ptr<IAppletMessageManager> makeAppletMessageManager() = 0;
  // The silent mediator of the elevated process, else the one that shows the interface.
  virtual std::unique_ptr<IViewMediator> makeViewMediator(bool silent, int argc, char** argv) = 0;
  virtual std::unique_ptr<IBundleResources> makeBundleResources() = 0;
};
