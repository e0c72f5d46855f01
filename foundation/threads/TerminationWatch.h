#pragma once

#include <signal.h>

#include <functional>
#include <thread>

#include "platform/UniqueFd.h"

namespace pando {

// Hears SIGTERM for a process that has no toolkit loop to hear it, and hands it to `onTerminate`
// on a thread of the watch's own. The signal handler only writes to an eventfd, which is
// async-signal-safe; everything else happens on that thread. Signals close together may give one
// call. The signal mask is left alone, since a blocked signal would stay blocked in every child
// the process starts; a child that execs gets the default disposition back, as for any caught
// signal.
//
// Threads: made and destroyed on one thread. `onTerminate` runs on the watch's thread only, and
// never once the destructor has returned (which waits for a call under way). One watch per
// process at a time: one made while another watches does not watch and changes nothing. Nothing
// throws.
class TerminationWatch {
 public:
  explicit TerminationWatch(std::function<void()> onTerminate);
  // Puts back the disposition SIGTERM had before the watch, then stops and joins its thread.
  ~TerminationWatch();
  TerminationWatch(const TerminationWatch&) = delete;
  TerminationWatch& operator=(const TerminationWatch&) = delete;

  // Whether SIGTERM goes to `onTerminate`: false when the watch could not start.
  bool watching() const { return watching_; }

 private:
  bool start();
  void run(int signalFd);

  const std::function<void()> onTerminate_;
  platform::UniqueFd stop_;  // eventfd: the destructor's wake-up for the thread
  struct sigaction previous_ {};
  bool owner_ = false;  // this watch holds the process's one slot
  bool watching_ = false;
  std::thread thread_;
};

}  // namespace pando
