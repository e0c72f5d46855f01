#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

// What the core's threads tell a running product installation, and the waits of the installation's
// thread that those messages end: the user's "retry" and "cancel", new proxy credentials, and the
// stop of FinalizeCore. Every operation may be called from any thread; waits return at once when a
// cancel or stop arrives.
namespace applets {

struct ProxyCredentials {
  std::string userName;
  std::string password;
};

class WorkflowControl {
 public:
  enum class Answer { kRetry, kCancel, kStop };

  // Starts over for a new run: nothing requested, `proxy` as the credentials.
  void reset(ProxyCredentials proxy);
  // FinalizeCore: the run ends without reporting anything more.
  void requestStop();
  // "retry" counts only while the thread waits for an answer; "cancel" counts at any time. Other
  // actions are ignored. Credentials that come with a known action replace the stored ones.
  void userAction(const std::string& action, const char* proxyUserName, const char* proxyPassword);

  bool stopRequested() const;
  // Cancelled by the user or stopped.
  bool interrupted() const;
  // Sleeps up to `period`; true when the run is interrupted.
  bool pause(std::chrono::milliseconds period);
  // Opens the wait for the user's answer to an error about to be reported, so that an answer
  // given as soon as the report arrives counts.
  void expectAnswer();
  // Blocks after expectAnswer until the user retries or cancels, or the run is stopped.
  Answer awaitAnswer();
  ProxyCredentials proxy() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;       // guarded by mutex_
  bool cancel_ = false;     // guarded by mutex_
  bool waiting_ = false;    // guarded by mutex_
  bool retry_ = false;      // guarded by mutex_
  ProxyCredentials proxy_;  // guarded by mutex_
};

}  // namespace applets
