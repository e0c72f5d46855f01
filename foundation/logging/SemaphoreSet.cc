#include "foundation/logging/SemaphoreSet.h"

#include <cerrno>
#include <thread>

namespace pando {
namespace {

constexpr int kSetMode = 0666;  // the user's process and its elevated copy share every set

// semctl's fourth argument, which the C library leaves to its callers to declare.
union SemaphoreArgument {
  int val;
  semid_ds* buf;
  unsigned short* array;
};

bool removeKeepingErrno(int id) {
  int error = errno;
  semctl(id, 0, IPC_RMID);
  errno = error;
  return false;
}

}  // namespace

bool SemaphoreSet::isGone(int error) {
  return error == EIDRM || error == EINVAL;
}

bool SemaphoreSet::open(key_t key, const std::vector<unsigned short>& startValues) {
  const int count = static_cast<int>(startValues.size());
  // Two rounds: the set may vanish between our look-up and our use of it, or turn out to be the
  // leftover of a creator that died before marking it ready.
  for (int round = 0; round < 2; ++round) {
    if (createExclusive(key, startValues)) return true;
    if (errno != EEXIST) return false;
    if (openExisting(key, count)) return true;
    if (errno == ENOENT || isGone(errno)) continue;
    if (errno != ETIMEDOUT) return false;
    int stale = semget(key, 0, 0);
    if (stale >= 0) semctl(stale, 0, IPC_RMID);
  }
  errno = EAGAIN;
  return false;
}

bool SemaphoreSet::createExclusive(key_t key, const std::vector<unsigned short>& startValues) {
  id_ = -1;
  int id = semget(key, static_cast<int>(startValues.size()), IPC_CREAT | IPC_EXCL | kSetMode);
  if (id < 0) return false;
  std::vector<unsigned short> values = startValues;
  SemaphoreArgument all{};
  all.array = values.data();
  if (semctl(id, 0, SETALL, all) != 0) return removeKeepingErrno(id);
  // A semop that changes nothing: it stamps sem_otime, which is what joiners wait for.
  sembuf mark[] = {{0, 1, IPC_NOWAIT}, {0, -1, IPC_NOWAIT}};
  if (semop(id, mark, 2) != 0) return removeKeepingErrno(id);
  id_ = id;
  return true;
}

bool SemaphoreSet::openExisting(key_t key, int semaphoreCount) {
  id_ = semget(key, 0, 0);
  if (id_ < 0) return false;
  if (waitUntilReady(semaphoreCount)) return true;
  id_ = -1;
  return false;
}

bool SemaphoreSet::waitUntilReady(int semaphoreCount) {
  const auto deadline = std::chrono::steady_clock::now() + settings_.readyTimeout;
  for (;;) {
    semid_ds info{};
    SemaphoreArgument stat{};
    stat.buf = &info;
    if (semctl(id_, 0, IPC_STAT, stat) != 0) return false;
    if (static_cast<int>(info.sem_nsems) < semaphoreCount) {
      errno = ERANGE;
      return false;
    }
    if (info.sem_otime != 0) return true;
    if (std::chrono::steady_clock::now() >= deadline) {
      errno = ETIMEDOUT;
      return false;
    }
    std::this_thread::sleep_for(settings_.readyPoll);
  }
}

bool SemaphoreSet::apply(std::initializer_list<sembuf> operations) {
  if (id_ < 0) {
    errno = EINVAL;
    return false;
  }
  std::vector<sembuf> ops(operations);
  int result;
  do {
    result = semop(id_, ops.data(), ops.size());
  } while (result != 0 && errno == EINTR);
  if (result != 0 && isGone(errno)) id_ = -1;
  return result == 0;
}

int SemaphoreSet::value(unsigned short index) {
  if (id_ < 0) return -1;
  int result = semctl(id_, index, GETVAL);
  if (result < 0 && isGone(errno)) id_ = -1;
  return result;
}

bool SemaphoreSet::remove() {
  if (id_ < 0) return false;
  bool removed = semctl(id_, 0, IPC_RMID) == 0;
  id_ = -1;
  return removed;
}

}  // namespace pando
