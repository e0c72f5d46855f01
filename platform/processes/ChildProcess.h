#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/UniqueFd.h"

// One child process started with posix_spawn: the program's path and an argument vector, never a
// shell. Its standard input reads /dev/null; no descriptor of ours reaches it except, as asked,
// standard output and error (inherited, or a pipe each); its signal mask and dispositions start
// clean. Dropped before it was waited for, the child is handed to a background reaper, so a child
// nobody waits for leaves no zombie. Not thread-safe; move the object to hand the child on.
namespace platform {

class ChildProcess {
 public:
  enum class Output {
    kInherit,  // standard output and error are ours
    kPipes,    // each is a pipe that outputFd() and errorFd() read
    kDiscard,  // both write to /dev/null
  };
  struct Options {
    Output output = Output::kInherit;
    // In a process group of its own, so that kill() also ends what the child started.
    bool ownProcessGroup = false;
    // SIGKILL to the child when the thread that spawned it ends, the whole process being killed
    // included: only for a child waited for on the spawning thread (a tool). Not kept across a
    // set-id program's start.
    bool endWithParent = false;
  };

  ChildProcess() = default;
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  // Starts `path` with argv = {path, arguments...} and our environment. 0 on success, else the
  // errno of the failure (ENOENT for a missing program, EACCES when it cannot be executed); the
  // object must not hold a child yet (EBUSY).
  int spawn(const std::string& path, const std::vector<std::string>& arguments,
            const Options& options);

  bool running() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // Read ends of the pipes (-1 unless Output::kPipes); the caller may close them via reset().
  UniqueFd& output() { return output_; }
  UniqueFd& error() { return error_; }
  // Readable (for poll) once the child has ended; -1 when no child is held.
  int exitFd() const { return pidfd_.get(); }

  // Blocks until the child ends and reaps it; `status` is the raw wait status (WIFEXITED...).
  // False when no child is held.
  bool wait(int& status);
  // Reaps the child when it has ended; false (status untouched) while it runs.
  bool tryWait(int& status);
  // SIGKILL to the child (and its group when it has one of its own); reap it with wait().
  void kill();

 private:
  void release();
  // The fork and exec for Options::endWithParent; 0 and `spawned` set, or the errno.
  static int spawnEndingWithParent(const std::string& path, char* const argv[], int outputWrite,
                                   int errorWrite, const Options& options, pid_t& spawned);

  pid_t pid_ = -1;
  bool ownGroup_ = false;
  UniqueFd pidfd_;
  UniqueFd output_;
  UniqueFd error_;
};

}  // namespace platform
