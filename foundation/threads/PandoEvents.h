#pragma once

#include <pthread.h>

#include <cstdint>

// Auto-reset events behind a C-style handle. One SetEvnt releases one wait; a SetEvnt with no
// waiter stays pending until the next wait, and several count as one. Any number of threads may
// set and wait. A null handle is an error for every call and is logged (component "PandoEvents")
// through the process-wide fallbacks of the utilities' logging.

struct PANDO_Event_t {
  pthread_mutex_t mutex;
  pthread_cond_t condition;  // waits on the monotonic clock
  int notSignalled;          // 1 = not signalled, 0 = signalled; guarded by mutex
};

// Null when the mutex or the condition variable cannot be set up (logged).
PANDO_Event_t* CreateEvnt();
void SetEvnt(PANDO_Event_t* event);

// Result of WaitforEvent.
enum PandoWaitResult : int {
  kEventSignalled = 0,
  kEventTimedOut = 1,
  kEventWaitFailed = 2,
};
constexpr int64_t kWaitForever = -1;

// Waits until the event is signalled or `timeoutMs` has passed (kWaitForever: no limit; 0: just
// looks), measured on the monotonic clock from the call. Leaves the event not signalled. Any
// other negative time-out, a null event and a failed wait give kEventWaitFailed.
int WaitforEvent(PANDO_Event_t* event, int64_t timeoutMs);
// 0, or -1 for a null event. No thread may use the event any more.
int DestroyEvent(PANDO_Event_t* event);
