#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace wendtest {

// A process started with this process's environment changed by `changes` (nullopt removes a
// variable), its standard output read through a pipe. Killed and reaped if the test leaves it.
class ProgramRun {
 public:
  using Changes = std::map<std::string, std::optional<std::string>>;

  ProgramRun(const std::vector<std::string>& arguments, const Changes& changes) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry; ++entry) {
      const std::string text = *entry;
      if (!changes.count(text.substr(0, text.find('=')))) entries.push_back(text);
    }
    for (const auto& [name, value] : changes) {
      if (value) entries.push_back(name + "=" + *value);
    }
    std::vector<char*> envp, argv;
    for (std::string& entry : entries) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = arguments;
    for (std::string& argument : args) argv.push_back(argument.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    EXPECT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    output_ = pipeFds[0];
  }
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;
  ~ProgramRun() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (output_ >= 0) close(output_);
  }

  pid_t pid() const { return pid_; }
  bool running() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }

  // Waits up to `limit` for the end; its exit status, or -1 when it had to be killed or was
  // ended by a signal. Reads what it wrote to standard output into output().
  int finish(std::chrono::seconds limit = std::chrono::seconds(60)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() >= deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
    char buffer[4096];
    for (ssize_t got; (got = read(output_, buffer, sizeof buffer)) > 0;) {
      text_.append(buffer, static_cast<size_t>(got));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  const std::string& output() const { return text_; }

 private:
  pid_t pid_ = -1;
  int output_ = -1;
  std::string text_;
};

// A sleeper standing in for a parent or a product process: runs until the test ends it.
class Sleeper {
 public:
  Sleeper() : run_({"/bin/sleep", "300"}, {}) {}
  pid_t pid() const { return run_.pid(); }
  // Ends and reaps it, so that its id no longer names a process.
  void end() {
    kill(run_.pid(), SIGTERM);
    run_.finish();
  }

 private:
  ProgramRun run_;
};

}  // namespace wendtest
