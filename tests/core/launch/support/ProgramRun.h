#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/PrivateRoot.h"

extern char** environ;

namespace wendtest {

// A process started with this process's environment changed by `changes` (nullopt removes a
// variable), its standard output read through a pipe. Killed and reaped if the test leaves it.
class ProgramRun {
 public:
  using Changes = EnvironmentChanges;

  ProgramRun(std::vector<std::string> arguments, const Changes& changes) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry; ++entry) {
      const std::string text = *entry;
      if (!changes.count(text.substr(0, text.find('=')))) entries.push_back(text);
    }
    for (const auto& [name, value] : changes)
      if (value) entries.push_back(name + "=" + *value);
    std::vector<char*> envp, argv;
    for (std::string& entry : entries) envp.push_back(entry.data());
    for (std::string& argument : arguments) argv.push_back(argument.data());
    envp.push_back(nullptr);
    argv.push_back(nullptr);
    int fds[2];
    EXPECT_EQ(pipe2(fds, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    output_ = fds[0];
  }
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;
  ~ProgramRun() {
    if (pid_ > 0 && kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
    close(output_);
  }

  pid_t pid() const { return pid_; }
  bool running() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }

  // Waits up to a minute for the end; its exit status, or -1 when it had to be killed or was ended
  // by a signal. Reads what it wrote to standard output into output().
  int finish() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() >= deadline) kill(pid_, SIGKILL);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
    char buffer[4096];
    for (ssize_t got; (got = read(output_, buffer, sizeof buffer)) > 0;) text_.append(buffer, got);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  const std::string& output() const { return text_; }

 private:
  pid_t pid_ = -1;
  int output_ = -1;
  std::string text_;
};

// A sleeper standing in for a parent or a product process: runs until the test ends it, and once
// ended and reaped its id names no process.
class Sleeper {
 public:
  pid_t pid() const { return run_.pid(); }
  void end() {
    kill(run_.pid(), SIGTERM);
    run_.finish();
  }

 private:
  ProgramRun run_{{"/bin/sleep", "300"}, {}};
};

}  // namespace wendtest
