#pragma once

#include <sys/sem.h>
#include <sys/types.h>

#include <chrono>
#include <initializer_list>
#include <vector>

namespace pando {

// How long a process that finds a set still being set up by its creator waits for it. After this
// the creator is taken for dead and its half-made set is removed and made again.
struct SemaphoreSetSettings {
  std::chrono::milliseconds readyTimeout{2000};
  std::chrono::microseconds readyPoll{500};
};

// A System V semaphore set that processes share through a key. It lives here, with the log file
// lock as its lowest user; the process semaphores share it.
//
// The first process creates the set exclusively, gives every semaphore its starting value and only
// then marks it ready (its first semop sets sem_otime). Every other process waits for that mark, so
// no late starting value ever rewrites a value that holders have already changed.
//
// The object only names the set; the kernel keeps the set until someone removes it. Operations
// that find the set removed under them (EIDRM, EINVAL) forget the id, so the owner can open it
// again. One owner per object; errno tells why a call failed.
class SemaphoreSet {
 public:
  explicit SemaphoreSet(SemaphoreSetSettings settings = {}) : settings_(settings) {}

  // Joins the set of `key`, creating it with one semaphore per starting value when there is none.
  bool open(key_t key, const std::vector<unsigned short>& startValues);
  // Joins an existing set only; false with errno ENOENT when there is none.
  bool openExisting(key_t key, int semaphoreCount);

  bool isOpen() const { return id_ >= 0; }
  void forget() { id_ = -1; }

  // One atomic semop over the given operations, retried when a signal interrupts it.
  bool apply(std::initializer_list<sembuf> operations);
  // The semaphore's value, or -1.
  int value(unsigned short index);
  // Removes the set for every process; the object forgets it either way.
  bool remove();

  // The errors by which the kernel says the set was removed under its user.
  static bool isGone(int error);

 private:
  bool createExclusive(key_t key, const std::vector<unsigned short>& startValues);
  bool waitUntilReady(int semaphoreCount);

  SemaphoreSetSettings settings_;
  int id_ = -1;
};

}  // namespace pando
