#include "tools/workflowdriver/WholeInstallation.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "applets/AppletHostParts.h"
#include "core/context/ApplicationContext.h"
#include "core/context/StandInParts.h"
#include "core/launch/LaunchModes.h"
#include "core/launch/LaunchSettings.h"
#include "foundation/text/StringUtils.h"
#include "mediation/ipc/MediationParts.h"
#include "mediation/view/ViewMediators.h"
#include "services/OnlineServices.h"
#include "tools/workflowdriver/ConsoleViewMediator.h"

namespace {

// The UI actions the page sets, as the workflow reads them.
constexpr auto kPoll = std::chrono::milliseconds(10);

bool startsWith(const std::string& text, const char* start) {
  return text.rfind(start, 0) == 0;
}

bool hasArgument(int argc, char** argv, const char* start) {
  for (int i = 1; i < argc; ++i) {
    if (startsWith(argv[i], start)) return true;
  }
  return false;
}

bool parseOptions(int argc, char** argv, WholeRunOptions& out) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const std::string value = argument.substr(argument.find('=') + 1);
    char* end = nullptr;
    if (startsWith(argument, "--retries=")) {
      out.retries = static_cast<int>(std::strtol(value.c_str(), &end, 10));
      if (*end != '\0' || out.retries < 0) return false;
    } else if (startsWith(argument, "--retry-when=")) {
      out.retryWhen = value;
    } else if (startsWith(argument, "--quit-at=")) {
      out.quitAt = static_cast<uint32_t>(std::strtoul(value.c_str(), &end, 16));
      if (*end != '\0' || out.quitAt == 0) return false;
    } else if (argument == "--decline") {
      out.decline = true;
    }
  }
  return true;
}

// The program's own parts minus the window: the console view stands where the interface would.
class ConsolePartsFactory final : public ForwardingPartsFactory {
 public:
  ConsolePartsFactory(std::unique_ptr<IContextPartsFactory> inner, ConsoleViewMediator*& view)
      : ForwardingPartsFactory(std::move(inner)), view_(view) {}

  std::unique_ptr<IViewMediator> makeViewMediator(bool silent, int argc, char** argv) override {
    if (silent) return ForwardingPartsFactory::makeViewMediator(silent, argc, argv);
    auto view = std::make_unique<ConsoleViewMediator>();
    view_ = view.get();
    return view;
  }

 private:
  ConsoleViewMediator*& view_;
};

std::unique_ptr<IContextPartsFactory> programParts(ConsoleViewMediator*& view) {
  return std::make_unique<ConsolePartsFactory>(
      mediation::withMediation(mediation::withViewMediators(
          applets::withAppletHost(withOnlineServices(std::make_unique<StandInPartsFactory>())))),
      view);
}

std::string hex(uint32_t state) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", state);
  return text;
}

// Answers the view the way a person would, until the workflow has ended. Returns how it ended.
class Answerer {
 public:
  Answerer(const WholeRunOptions& options, WorkflowManager& workflow, ConsoleViewMediator& view)
      : options_(options), workflow_(workflow), view_(view), retriesLeft_(options.retries) {}

  void step() {
    const WorkflowStateBlock block = workflow_.stateBlock();
    if (block.stateCode != lastState_) {
      lastState_ = block.stateCode;
      view_.print("state " + hex(block.stateCode));
    }
    if (options_.quitAt != 0 && !quitAsked_ && block.stateCode == options_.quitAt) {
      quitAsked_ = true;
      view_.print("asking to quit");
      workflow_.setCurrentUIAction(UIAction::kQuitRequested);
      return;
    }
    if (view_.quitConfirmationsShown() > confirmationsAnswered_) {
      ++confirmationsAnswered_;
      const bool stay = options_.decline && !declined_;
      declined_ = declined_ || stay;
      view_.print(stay ? "answer stay" : "answer quit");
      workflow_.setCurrentUIAction(stay ? UIAction::kQuitDeclined : UIAction::kQuitConfirmed);
      if (!stay && !endedAfterAlert_) quitConfirmed_ = true;
      return;
    }
    if (view_.alertsShown() > alertsAnswered_ && block.uiAction == code(UIAction::kBlocked))
      answerAlert();
  }

  WholeRunExit outcome(const WorkflowStateBlock& last) const {
    if (endedAfterAlert_) return WholeRunExit::kEndedAfterAlert;
    if (quitConfirmed_) return WholeRunExit::kQuitByUser;
    return last.errorCode == 0 ? WholeRunExit::kInstalled : WholeRunExit::kFailed;
  }

 private:
  void answerAlert() {
    if (retriesLeft_ > 0) {
      if (!options_.retryWhen.empty() && access(options_.retryWhen.c_str(), F_OK) != 0) return;
      --retriesLeft_;
      ++alertsAnswered_;
      view_.print("answer retry");
      workflow_.setCurrentUIAction(UIAction::kRetry);
      return;
    }
    ++alertsAnswered_;
    endedAfterAlert_ = true;
    view_.print("answer quit");
    workflow_.setCurrentUIAction(UIAction::kQuitRequested);
  }

  const WholeRunOptions& options_;
  WorkflowManager& workflow_;
  ConsoleViewMediator& view_;
  int retriesLeft_;
  uint32_t lastState_ = 0;
  int alertsAnswered_ = 0;
  int confirmationsAnswered_ = 0;
  bool quitAsked_ = false;
  bool declined_ = false;
  bool quitConfirmed_ = false;
  bool endedAfterAlert_ = false;
};

int finish(WholeRunExit status) {
  ApplicationContext::Destroy();
  return static_cast<int>(status);
}

}  // namespace

bool wantsWholeInstallation(int argc, char** argv) {
  return hasArgument(argc, argv, "--whole");
}

bool isRelaunchedCopy(int argc, char** argv) {
  return hasArgument(argc, argv, "--parentPID=") && hasArgument(argc, argv, "--volumeName=");
}

int runWholeInstallation(int argc, char** argv) {
  WholeRunOptions options;
  if (!parseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: %s --whole [--retries=N] [--retry-when=FILE] [--quit-at=STATE] "
                 "[--decline]\n",
                 argv[0]);
    return static_cast<int>(WholeRunExit::kUsage);
  }
  // A peer that goes away must fail a write, not end the process.
  signal(SIGPIPE, SIG_IGN);
  ConsoleViewMediator* view = nullptr;
  ApplicationContext::SetPartsFactory(programParts(view));
  ApplicationContext* context = ApplicationContext::GetInstance();
  if (!context->Initialize(argc, argv) || !context->InitMessageGateway(argc, argv) || !view) {
    std::fprintf(stderr, "the installer's context did not start\n");
    return finish(WholeRunExit::kUsage);
  }
  if (!context->isAdmin) {
    std::fprintf(stderr, "the whole installation runs with administrator rights only\n");
    return finish(WholeRunExit::kUsage);
  }
  WorkflowManager& workflow = *context->workflowManager;
  Answerer answerer(options, workflow, *view);
  if (!context->StartWorkflow()) return finish(WholeRunExit::kFailed);
  while (!view->terminated()) {
    answerer.step();
    std::this_thread::sleep_for(kPoll);
  }
  workflow.StopWorkflow();
  const WorkflowStateBlock last = workflow.stateBlock();
  const WholeRunExit status = answerer.outcome(last);
  view->print("ended " + hex(last.stateCode) + " error " + std::to_string(last.errorCode) +
              " exit " + std::to_string(static_cast<int>(status)));
  return finish(status);
}

int runRelaunchedCopy(int argc, char** argv) {
  ApplicationContext* context = ApplicationContext::GetInstance();
  if (context->Initialize(argc, argv)) {
    std::string volume;
    std::string parent;
    context->commandLine.getArgumentValue("volumeName", volume);
    context->commandLine.getArgumentValue("parentPID", parent);
    unmountVolumeAfterParentExit(volume, StringUtils::utilConvertStringToInt(parent),
                                 LaunchSettings::fromEnvironment());
    cleanupTempFolder();
  }
  ApplicationContext::Destroy();
  return 0;
}
