#pragma once

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/download/pdm/support/PackageService.h"
#include "tests/mediation/ui/gtk/support/Display.h"
#include "tests/support/PrivateRoot.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/tools/workflowdriver/support/WholeRun.h"
#include "tools/testserver/TestServer.h"

namespace wendtest {

// What `folder` holds; what cannot be read is left out, nothing throws (entries come and go in
// /proc and /tmp while other processes run).
inline std::vector<fs::path> entriesOf(const std::string& folder) {
  std::vector<fs::path> found;
  std::error_code error;
  for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator();
       it.increment(error)) {
    found.push_back(it->path());
  }
  return found;
}

// The processes for which `matches(pid)` holds.
inline std::vector<pid_t> processesWhere(const std::function<bool(pid_t)>& matches) {
  std::vector<pid_t> found;
  for (const fs::path& entry : entriesOf("/proc")) {
    const std::string name = entry.filename();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t pid = std::stoi(name);
    if (matches(pid)) found.push_back(pid);
  }
  return found;
}

// The program `pid` runs; "" once it is gone.
inline std::string executableOf(pid_t pid) {
  std::error_code gone;
  return fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", gone);
}

// The command line of `pid`, its arguments joined by NULs; "" for a process gone or a zombie.
inline std::string commandLineOf(pid_t pid) {
  return readFile("/proc/" + std::to_string(pid) + "/cmdline");
}

// An account for the user's process.
struct RunAccount {
  uid_t uid = 0;
  gid_t gid = 0;
  std::string home;  // as the user database gives it; a run puts it below its private root
};

// The account `uid`; nullopt when the user database does not know it.
inline std::optional<RunAccount> accountOf(uid_t uid) {
  const passwd* entry = getpwuid(uid);
  if (!entry) return std::nullopt;
  return RunAccount{entry->pw_uid, entry->pw_gid, entry->pw_dir};
}

// "nobody", an account without administrator rights, when this process may become it: it runs as
// root and the user database knows the name. Nullopt otherwise.
inline std::optional<RunAccount> unprivilegedAccount() {
  const passwd* entry = geteuid() == 0 ? getpwnam("nobody") : nullptr;
  if (!entry) return std::nullopt;
  return accountOf(entry->pw_uid);
}

// The built installer bundle run as a user meets it, as `make demo`'s interface runs do: a copy of
// the bundle with the test's configuration, in a fresh private root whose Application Support
// folder holds the UI test hook and whose shared components hold the stand-in install helper, on
// the fixture's display, the hook playing the test's scenario. Run as an account without
// administrator rights, the user's process asks the fake elevation tool for its elevated copy,
// which a broker of the run's, running as root, starts in the run's environment; the two link
// over their named pipes. Everything the account runs or reads is a copy in the run's folder,
// which it may enter wherever the checkout and the build are.
//
// end(), and the destructor, end every process of the run, whatever the test's outcome, and remove
// the named pipes of the run's channels from /tmp, which the installer keeps. Made and used on
// one thread.
class InstallerRun {
 public:
  struct Settings {
    std::string config;       // the bundle's config.xml
    std::string scenario;     // the hook's scenario, as text
    std::string serviceBase;  // every online service's address (WEND_SERVICE_BASE)
    // Nullopt: this process's own account, which needs no elevated copy when it is root.
    std::optional<RunAccount> account;
    EnvironmentChanges environment;  // more for the program
    // Variables that name files for the program: each file is copied into the run's folder and
    // the variable names the copy.
    std::map<std::string, std::string> files;
  };

  explicit InstallerRun(Settings settings)
      : settings_(std::move(settings)), account_(settings_.account ? *settings_.account : self()) {
    // The account reads the bundle, the hook and the scenario.
    chmod(top_.path().c_str(), 0755);
    fs::copy(WEND_INSTALL_BUNDLE, bundle(), fs::copy_options::recursive);
    writeFile(bundle() + "/Contents/Resources/config.xml", settings_.config + "\n");
    const std::string support = root() + "/var/lib/Orvel";
    fs::create_directories(support + "/Hearth/ElevationManager");
    fs::copy_file(WEND_HTMLVIEWTESTER, support + "/HTMLViewTester.dylib");
    fs::copy_file(WEND_TEST_INSTALL_HELPER, support + "/Hearth/ElevationManager/Orvel Installer");
    writeFile(top_ / "scenario.txt", settings_.scenario);
    fs::create_directories(handedOver());
    for (const auto& [name, file] : settings_.files) copyHandedOver(file);
    copyHandedOver(WEND_FAKE_PKEXEC);
    copyHandedOver(kUbsanSuppressions);
    for (const char* name : kSanitizerVariables) handOverSuppressions(name);
    // The account owns its home, the shots and its elevation requests; the machine's folders
    // stay root's, as on a real system.
    for (const std::string& folder : {home(), shots(), brokerFolder()}) {
      fs::create_directories(folder);
      chmod(folder.c_str(), 0700);
      ownByAccount(folder);
    }
    writeFile(elevationLog(), "");
    ownByAccount(elevationLog());
    fs::create_directories(root() + "/tmp");
    chmod((root() + "/tmp").c_str(), 01777);
  }
  ~InstallerRun() { end(); }
  InstallerRun(const InstallerRun&) = delete;
  InstallerRun& operator=(const InstallerRun&) = delete;

  // The private root: the machine's paths below it.
  std::string root() const { return top_ / "root"; }
  std::string shots() const { return top_ / "shots"; }
  std::string executable() const { return bundle() + "/Contents/MacOS/Install"; }

  // Starts the user's process; with an account of its own, first the broker, which gives the
  // elevated copy the program's environment. Both die with the test's process, should it be
  // killed before it could end them. The test program's IPC and mount namespaces
  // (PrivateMachine.cc) are theirs too. False, nothing started, when the account cannot reach
  // what the run hands it (outcome() names it).
  [[nodiscard]] bool start() {
    if (!accountReachesTheRun()) return false;
    accountFoldersBefore_ = accountFoldersInTmp();
    std::vector<std::string> command = {"/usr/bin/setpriv", "--pdeathsig=KILL"};
    if (elevatesThroughBroker()) {
      std::vector<std::string> broker = command;
      broker.insert(broker.end(), {"--", handedOver(WEND_FAKE_PKEXEC), "--broker"});
      for (const std::string& variable : environment()) {
        broker.insert(broker.end(), {"--setenv", variable});
      }
      broker.insert(broker.end(), {brokerFolder(), executable()});
      broker_ =
          std::make_unique<DriverChild>(broker, childEnvironment({}), top_ / "broker.out", true);
      command.insert(command.end(), {"--reuid=" + std::to_string(account_.uid),
                                     "--regid=" + std::to_string(account_.gid), "--clear-groups"});
    }
    command.insert(command.end(), {"--", executable()});
    program_ = std::make_unique<DriverChild>(command, environment(), top_ / "program.out", true);
    return true;
  }

  // The user's process's exit status once it has ended within `limit`; -1 when it had not, or
  // when the scenario failed first (it then waits for nobody), its process group then killed.
  int finish(std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!existsNoFollow(shots() + "/FAILED") && std::chrono::steady_clock::now() < deadline) {
      if (const std::optional<int> status = program_->waitFor(std::chrono::milliseconds(100))) {
        return *status;
      }
    }
    program_->kill9();
    return -1;
  }

  // Ends what is left of the run's processes and removes its channels' named pipes.
  void end() {
    program_.reset();
    broker_.reset();
    killStragglers();
    for (const std::string& pipe : channelPipes()) unlink(pipe.c_str());
  }

  // Whether the user's process has ended.
  bool ended() { return !program_ || program_->waitFor(std::chrono::milliseconds(0)); }

  // Whether the scenario reached its end ("DONE").
  bool scenarioPassed() const { return existsNoFollow(shots() + "/DONE"); }
  // The snapshots taken so far.
  std::vector<std::string> snapshots() const {
    std::vector<std::string> found;
    for (const fs::path& entry : entriesOf(shots())) {
      if (entry.extension() == ".png") found.push_back(entry);
    }
    return found;
  }
  // For failure messages: the scenario's failure and the ends of the program's output and log.
  std::string outcome() const {
    if (!unreachable_.empty()) return unreachable_;
    return "scenario: " + readFile(shots() + "/FAILED") + "\nprogram output (end):\n" +
           lastPart(program_ ? program_->output() : "") + "\nWend.log (end):\n" + lastPart(log());
  }
  // The console user's Wend.log, which both processes write.
  std::string log() const {
    std::string text;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(home(), error);
         it != fs::recursive_directory_iterator(); it.increment(error)) {
      if (it->path().filename() == "Wend.log") text += readFile(it->path());
    }
    return text;
  }

  // The elevated copy while it runs; -1 when none does.
  pid_t elevatedCopy() const {
    const std::vector<pid_t> copies = processesWhere(
        [this](pid_t pid) { return pid != program_->pid() && executableOf(pid) == executable(); });
    return copies.empty() ? -1 : copies.front();
  }

  // What the run left in /tmp: its channels' named pipes and the folders its account made there.
  std::vector<std::string> leftInTmp() const {
    std::vector<std::string> left;
    for (const std::string& pipe : channelPipes()) {
      if (existsNoFollow(pipe)) left.push_back(pipe);
    }
    for (const std::string& folder : accountFoldersInTmp()) {
      if (!accountFoldersBefore_.count(folder)) left.push_back(folder);
    }
    return left;
  }

 private:
  static std::string lastPart(const std::string& text) {
    constexpr size_t kShown = 3000;
    return text.substr(text.size() > kShown ? text.size() - kShown : 0);
  }
  static RunAccount self() {
    const std::optional<RunAccount> account = accountOf(geteuid());
    return account ? *account : RunAccount{geteuid(), getegid(), "/"};
  }
  static constexpr char kUbsanSuppressions[] =
      WEND_SOURCE_DIR "/tests/core/compat/support/ubsan.supp";
  static constexpr const char* kSanitizerVariables[] = {"ASAN_OPTIONS", "LSAN_OPTIONS",
                                                        "TSAN_OPTIONS", "UBSAN_OPTIONS"};

  bool elevatesThroughBroker() const { return account_.uid != geteuid(); }
  std::string handedOver() const { return top_ / "handed-over"; }
  // The copy of `file` that the account is given.
  std::string handedOver(const std::string& file) const {
    return handedOver() + "/" + fs::path(file).filename().string();
  }
  void copyHandedOver(const std::string& file) const {
    std::error_code error;
    fs::copy_file(file, handedOver(file), fs::copy_options::skip_existing, error);
    if (error) {
      ADD_FAILURE() << "cannot copy " << file << ": " << error.message();
    }
  }

  // The sanitizer options `name` of this process, their suppression files handed over: the
  // sanitizers in the account's processes read them.
  void handOverSuppressions(const char* name) {
    const char* value = getenv(name);
    if (!value) return;
    std::string options;
    std::istringstream in(value);
    for (std::string option; std::getline(in, option, ':');) {
      constexpr std::string_view kFile = "suppressions=";
      if (option.rfind(kFile, 0) == 0) {
        copyHandedOver(option.substr(kFile.size()));
        option = std::string(kFile) + handedOver(option.substr(kFile.size()));
      }
      options += (options.empty() ? "" : ":") + option;
    }
    sanitizerOptions_[name] = options;
  }

  // Whether the account reaches all that the run gives it, asked as the account; when it does
  // not, the path it cannot reach is kept for outcome().
  bool accountReachesTheRun() {
    std::vector<std::string> command = {WEND_SOURCE_DIR "/scripts/account-reaches",
                                        std::to_string(account_.uid), executable(), shots()};
    for (const fs::path& entry : entriesOf(handedOver())) command.push_back(entry);
    command.insert(command.end(),
                   {top_ / "scenario.txt", root() + "/var/lib/Orvel/HTMLViewTester.dylib"});
    if (elevatesThroughBroker()) command.insert(command.end(), {brokerFolder(), elevationLog()});
    DriverChild check(command, childEnvironment({}), top_ / "reach.out");
    const std::optional<int> status = check.waitFor(std::chrono::seconds(30));
    if (status == 0) return true;
    unreachable_ = "not started: " + check.output();
    return false;
  }
  std::string bundle() const { return top_ / "Install.app"; }
  std::string home() const { return root() + account_.home; }
  std::string brokerFolder() const { return top_ / "elevation"; }
  std::string elevationLog() const { return top_ / "elevation.log"; }
  void ownByAccount(const std::string& path) const {
    if (lchown(path.c_str(), account_.uid, account_.gid) != 0) {
      ADD_FAILURE() << "cannot give " << path << " to " << account_.uid;
    }
  }

  std::vector<std::string> environment() const {
    EnvironmentChanges changes = privateRootChanges(root());
    for (const auto& [name, value] : fixtureDisplayEnvironment()) changes[name] = value;
    changes["WEND_CONSOLE_UID"] = std::to_string(account_.uid);
    // The web engine keeps its caches in the home, which stays in the private tree.
    changes["HOME"] = home();
    changes["WEND_SERVICE_BASE"] = settings_.serviceBase;
    changes["WEND_UI_SCENARIO"] = top_ / "scenario.txt";
    changes["WEND_UI_SHOTS"] = shots();
    for (const auto& [name, file] : settings_.files) changes[name] = handedOver(file);
    // The stand-in helpers and the elevation tool name the channels, for the clean-up.
    changes["TEST_HELPER_TRANSCRIPT"] = top_ / "helper.log";
    changes["WEND_FAKE_ELEVATION_LOG"] = elevationLog();
    if (elevatesThroughBroker()) {
      changes["WEND_TOOL_ELEVATION"] = handedOver(WEND_FAKE_PKEXEC);
      changes["WEND_FAKE_ELEVATION_BROKER"] = brokerFolder();
    }
    // Under UndefinedBehaviorSanitizer the program's shared_ptr code meets the web engine's
    // control blocks, whose type the vptr check cannot know: the suppression the compatibility
    // script's tests need for the same engine.
    for (const auto& [name, options] : sanitizerOptions_) changes[name] = options;
    const auto undefinedBehaviour = sanitizerOptions_.find("UBSAN_OPTIONS");
    changes["UBSAN_OPTIONS"] =
        (undefinedBehaviour != sanitizerOptions_.end() ? undefinedBehaviour->second : "") +
        ":suppressions=" + handedOver(kUbsanSuppressions);
    for (const auto& [name, value] : settings_.environment) changes[name] = value;
    return childEnvironment(changes);
  }

  std::set<std::string> channelPipes() const {
    return channelPipesNamedIn(readFile(elevationLog()) + readFile(top_ / "helper.log"));
  }

  // The folders the account owns in /tmp, when it is not this process's, whose other tests make
  // their own there all the time.
  std::set<std::string> accountFoldersInTmp() const {
    std::set<std::string> found;
    if (!elevatesThroughBroker()) return found;
    for (const fs::path& entry : entriesOf("/tmp")) {
      const struct stat info = statOf(entry);
      if (S_ISDIR(info.st_mode) && info.st_uid == account_.uid) found.insert(entry);
    }
    return found;
  }

  // The user's process and the broker lead process groups of their own, which the elevated copy
  // and the helpers share; the elevation tool, which waits for the copy, has one of its own. Every
  // process whose command line names the run's folder ends.
  void killStragglers() const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
      const std::vector<pid_t> left = processesWhere(
          [this](pid_t pid) { return commandLineOf(pid).find(top_.path()) != std::string::npos; });
      if (left.empty() || std::chrono::steady_clock::now() >= deadline) return;
      for (pid_t pid : left) kill(pid, SIGKILL);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  TemporaryFolder top_;
  const Settings settings_;
  const RunAccount account_;
  std::set<std::string> accountFoldersBefore_;
  std::map<std::string, std::string> sanitizerOptions_;  // as handOverSuppressions made them
  std::string unreachable_;               // what start() found the account cannot reach
  std::unique_ptr<DriverChild> broker_;   // with an unprivileged account, from start on
  std::unique_ptr<DriverChild> program_;  // from start on
};

// The online services of a whole installation on one loopback test server, as `make demo` has
// them: the identity service hands a device token straight back to the installer's sign-in
// address, the context service has a survey, the product service lists the sample product of the
// package service, the applications document offers the stand-in installer library from the
// package service, and the analytics service takes the events. Any thread.
class InstallationServices {
 public:
  InstallationServices() {
    testserver::TestServerSettings settings;
    settings.answerPost = true;
    server_ = std::make_unique<testserver::TestServer>(settings);
    started_ = packages_.port() != 0 && server_->start();
    testserver::Rule signIn;
    signIn.path = "/idra/authorize/v1";
    signIn.fault.kind = testserver::FaultKind::Redirect;
    signIn.fault.location = "/wend/signin/?device_token=program-device-token";
    server_->addRule(signIn);
    server_->addBody("/orvel-ffc-external/core/v2/context", R"({"survey": {"id": "program"}})");
    server_->addBody(kEventsPath, "{}");
    server_->addBody(kProductsPath, sampleProductsDocument(packages_.url("")));
  }

  bool started() const { return started_; }
  std::string base() const { return server_->url(""); }
  std::string applicationsUrl() const { return server_->url(kApplicationsPath); }
  // The desktop application is offered with the stand-in library's elements `pimElements`.
  void offerDesktopApp(const std::string& pimElements) {
    server_->addBody(kApplicationsPath,
                     applicationsDocument(packages_.www(), pimElements, packages_.url("")));
  }

 private:
  PackageService packages_{WEND_TEST_PIM_FOLDER "/OrvelPIM.dylib"};
  std::unique_ptr<testserver::TestServer> server_;
  bool started_ = false;
};

}  // namespace wendtest
