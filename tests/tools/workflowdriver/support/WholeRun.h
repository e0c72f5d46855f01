#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/download/pdm/support/PackageService.h"
#include "tests/support/PrivateRoot.h"
#include "tests/support/TemporaryFolder.h"
#include "tools/testserver/TestServer.h"

extern char** environ;

namespace wendtest {

namespace fs = std::filesystem;

// What the services and the package service answer at, and where the desktop application goes
// below the private root.
constexpr char kApplicationsPath[] = "/services/applications";
constexpr char kProductsPath[] = "/orvel-ffc-external/core/v4/products/all";
constexpr char kEventsPath[] = "/hsmessaging/rest";
constexpr char kDesktopApp[] = "/opt/Utilities/Orvel Skyloom/Tarn/Skyloom.app";

// `text` with the first `from` replaced by `to`.
inline std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The products document: the sample product, from the package service at `base`.
inline std::string sampleProductsDocument(const std::string& base) {
  return "<channels><channel><products><product id=\"SampleProduct\" version=\"1.0\">"
         "<custom-data><custom-entry key=\"packageURL\"><value>" +
         base +
         "/packages/zip/Sample.zip</value></custom-entry></custom-data>"
         "</product></products></channel></channels>";
}

// The applications document of the package service whose served tree is `www`, with the
// stand-in library's elements `pimElements` in place of its scenario and the installer library
// fetched from `libraryBase`.
inline std::string applicationsDocument(const std::string& www, const std::string& pimElements,
                                        const std::string& libraryBase) {
  std::string document = readFile(www + "/services/applications.xml");
  document = replaced(document, "<pimScenario>success</pimScenario>", pimElements);
  const std::regex secure("<secure>[^<]*</secure>");
  return std::regex_replace(document, secure, "<secure>" + libraryBase + "</secure>");
}

// The named pipes in /tmp, both sides, of every channel whose name (a UUID) `text` mentions: the
// installer keeps its channels' pipes, and a test's runs name theirs in the stand-ins' records.
inline std::set<std::string> channelPipesNamedIn(const std::string& text) {
  static const std::regex uuid("[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}");
  std::set<std::string> pipes;
  for (std::sregex_iterator it(text.begin(), text.end(), uuid), end; it != end; ++it) {
    for (const char* side : {"_IN", "_OUT"}) pipes.insert("/tmp/" + it->str() + side);
  }
  return pipes;
}

// The folder below `root` that the sample product was installed into with its files; "" when
// there is none.
inline std::string installedSampleProduct(const std::string& root) {
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       it != fs::recursive_directory_iterator(); it.increment(error)) {
    const fs::path& path = it->path();
    if (path.filename() == "SampleProduct" && it->is_directory(error) &&
        path.parent_path().filename() == "Products" && fs::exists(path / "SampleApp")) {
      return path;
    }
  }
  return "";
}

// A package service of its own, for the faults that stop and start it: the installer library's or
// a product's network going away and coming back on the same port.
class CuttablePackageService {
 public:
  explicit CuttablePackageService(const std::string& library = "") {
    std::vector<std::string> start = command("start");
    if (!library.empty()) start.push_back(library);
    if (runProgram(start)) port_ = std::stoi(readFile(folder_ / "port"));
  }
  ~CuttablePackageService() { runProgram(command("stop")); }
  CuttablePackageService(const CuttablePackageService&) = delete;
  CuttablePackageService& operator=(const CuttablePackageService&) = delete;

  int port() const { return port_; }
  std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::string www() const { return folder_ / "www"; }
  bool stop() { return runProgram(command("stop")); }
  bool restart() { return runProgram(command("restart")); }

 private:
  std::vector<std::string> command(const char* verb) const {
    return {"bash", WEND_SOURCE_DIR "/tools/package-service/package-service", verb, folder_.path()};
  }

  TemporaryFolder folder_;
  int port_ = 0;
};

// A driver run as a child: its output goes to a file the test reads while it runs.
class DriverChild {
 public:
  // With `ownGroup` it leads a process group of its own, which kill9 and the destructor end
  // whole, whatever it started there.
  DriverChild(const std::vector<std::string>& arguments,
              const std::vector<std::string>& environment, const std::string& output,
              bool ownGroup = false)
      : output_(output) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (ownGroup) {
      posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
      posix_spawnattr_setpgroup(&attributes, 0);
    }
    if (posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), envp.data()) != 0) {
      pid_ = -1;
      status_ = -1;
    } else if (ownGroup) {
      group_ = pid_;
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
  }
  ~DriverChild() { kill9(); }
  DriverChild(const DriverChild&) = delete;
  DriverChild& operator=(const DriverChild&) = delete;

  pid_t pid() const { return pid_; }
  std::string output() const { return readFile(output_); }
  bool printed(const std::string& line) const {
    return ("\n" + output()).find("\n" + line + "\n") != std::string::npos;
  }
  // The exit status once it has ended within `limit` (-1 when a signal ended it); nothing while
  // it still runs.
  std::optional<int> waitFor(std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!status_) {
      int status = 0;
      if (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      } else if (std::chrono::steady_clock::now() >= until) {
        return std::nullopt;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    }
    return status_;
  }
  // The exit status; -1 when it did not end by itself within the limit (it is then killed).
  int wait(std::chrono::seconds limit = std::chrono::seconds(120)) {
    if (const std::optional<int> status = waitFor(limit)) return *status;
    kill9();
    return -1;
  }
  // Kills it (with its own group, the whole group) and reaps it.
  void kill9() {
    if (group_ > 0) kill(-group_, SIGKILL);
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  std::string output_;
  pid_t pid_ = -1;
  pid_t group_ = -1;  // with its own group: the group, which outlives its leader's reaping
  std::optional<int> status_;
};

// Waits until `done` holds, up to `limit`; whether it did.
template <typename Condition>
bool within(std::chrono::milliseconds limit, Condition done) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// The environment a child gets: this process's, with `changes` applied.
inline std::vector<std::string> childEnvironment(const EnvironmentChanges& changes) {
  std::map<std::string, std::string> entries;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    const size_t equals = text.find('=');
    if (equals != std::string::npos) entries[text.substr(0, equals)] = text.substr(equals + 1);
  }
  for (const auto& [name, value] : changes) {
    if (value) {
      entries[name] = *value;
    } else {
      entries.erase(name);
    }
  }
  std::vector<std::string> out;
  for (const auto& [name, value] : entries) out.push_back(name + "=" + value);
  return out;
}

}  // namespace wendtest
