#include "foundation/threads/TerminationWatch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <system_error>

namespace pando {
namespace {

// The process's one signal eventfd. Made by the first watch and kept open for the process's life,
// so that a handler that read it just as a watch ended never writes to a descriptor since reused.
std::atomic<int> signalEvents{-1};
static_assert(std::atomic<int>::is_always_lock_free, "read in a signal handler");
// Whether a watch is alive.
std::atomic<bool> slotTaken{false};

void onTerminationSignal(int) {
  const int saved = errno;
  const int fd = signalEvents.load();
  if (fd >= 0) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(fd, &one, sizeof one);
  }
  errno = saved;
}

// The count an eventfd holds, taken and reset; the descriptor does not block.
void drain(int fd) {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = read(fd, &count, sizeof count);
}

void wake(int fd) {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(fd, &one, sizeof one);
}

// Only the slot's holder calls this, so the descriptor is made once.
int processSignalEvents() {
  if (signalEvents.load() < 0) signalEvents.store(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  return signalEvents.load();
}

}  // namespace

TerminationWatch::TerminationWatch(std::function<void()> onTerminate)
    : onTerminate_(std::move(onTerminate)) {
  if (!onTerminate_ || slotTaken.exchange(true)) return;
  owner_ = true;
  watching_ = start();
}

bool TerminationWatch::start() {
  stop_.reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  const int events = processSignalEvents();
  if (!stop_.valid() || events < 0) return false;
  drain(events);  // what a signal to an earlier watch left
  try {
    thread_ = std::thread(&TerminationWatch::run, this, events);
  } catch (const std::system_error&) {
    return false;
  }
  struct sigaction action {};
  action.sa_handler = onTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // the process's other calls go on after the handler
  return sigaction(SIGTERM, &action, &previous_) == 0;
}

TerminationWatch::~TerminationWatch() {
  if (watching_) sigaction(SIGTERM, &previous_, nullptr);
  if (thread_.joinable()) {
    wake(stop_.get());
    thread_.join();
  }
  if (owner_) slotTaken = false;
}

void TerminationWatch::run(int signalFd) {
  pollfd fds[] = {{signalFd, POLLIN, 0}, {stop_.get(), POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;  // the stop wins over a signal that came with it
    if (fds[0].revents & POLLIN) {
      drain(signalFd);
      onTerminate_();
    }
  }
}

}  // namespace pando
