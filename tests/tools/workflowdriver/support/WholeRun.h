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
  DriverChild(const std::vector<std::string>& arguments,
              const std::vector<std::string>& environment, const std::string& output)
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
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
      pid_ = -1;
      status_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
  }
  ~DriverChild() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
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
  // Kills it and reaps it.
  void kill9() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  std::string output_;
  pid_t pid_ = -1;
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
