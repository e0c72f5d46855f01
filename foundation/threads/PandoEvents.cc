#include "foundation/threads/PandoEvents.h"

#include <cerrno>
#include <ctime>

#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/UtilsLog.h"

namespace {

constexpr const char* kComponent = "PandoEvents";
constexpr const char* kInitComponent = "PandoEventsIntl";

bool initialise(PANDO_Event_t* event) {
  if (pthread_mutex_init(&event->mutex, nullptr) != 0) {
    pando::utilsLog(nullptr, pando::kLogError, kInitComponent, "Failed to initialise the Mutex");
    return false;
  }
  pthread_condattr_t attributes;
  bool made = pthread_condattr_init(&attributes) == 0;
  made = made && pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC) == 0 &&
         pthread_cond_init(&event->condition, &attributes) == 0;
  pthread_condattr_destroy(&attributes);
  if (!made) {
    pando::utilsLog(nullptr, pando::kLogError, kInitComponent,
                    "Failed to initialise the Condition Variable");
    pthread_mutex_destroy(&event->mutex);
    return false;
  }
  event->notSignalled = 1;
  return true;
}

// Holds the event's mutex; also released when a cancelled thread unwinds out of its wait.
class EventLock {
 public:
  explicit EventLock(PANDO_Event_t* event) : event_(event) { pthread_mutex_lock(&event_->mutex); }
  EventLock(const EventLock&) = delete;
  EventLock& operator=(const EventLock&) = delete;
  ~EventLock() { pthread_mutex_unlock(&event_->mutex); }

 private:
  PANDO_Event_t* event_;
};

timespec deadlineAfter(int64_t timeoutMs) {
  timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += static_cast<time_t>(timeoutMs / 1000);
  deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  return deadline;
}

// Called with the mutex held; returns with it held.
int waitSignalled(PANDO_Event_t* event, int64_t timeoutMs) {
  const timespec deadline = deadlineAfter(timeoutMs < 0 ? 0 : timeoutMs);
  int error = 0;
  while (event->notSignalled && error == 0) {
    error = timeoutMs == kWaitForever
                ? pthread_cond_wait(&event->condition, &event->mutex)
                : pthread_cond_timedwait(&event->condition, &event->mutex, &deadline);
  }
  // A signal that arrived with the time-out still counts: resetting it unreported would lose it.
  if (!event->notSignalled) return kEventSignalled;
  return error == ETIMEDOUT ? kEventTimedOut : kEventWaitFailed;
}

}  // namespace

PANDO_Event_t* CreateEvnt() {
  auto* event = new PANDO_Event_t;
  if (initialise(event)) return event;
  delete event;
  pando::utilsLog(nullptr, pando::kLogWarn, kComponent, "Failed in CreateEvnt");
  return nullptr;
}

void SetEvnt(PANDO_Event_t* event) {
  if (!event) {
    pando::utilsLog(nullptr, pando::kLogError, kComponent,
                    "NULL PANDO_Event_t object passed in SetEvnt ");
    return;
  }
  EventLock hold(event);
  event->notSignalled = 0;
  pthread_cond_signal(&event->condition);
}

int WaitforEvent(PANDO_Event_t* event, int64_t timeoutMs) {
  if (!event) {
    pando::utilsLog(nullptr, pando::kLogError, kComponent,
                    "NULL PANDO_Event_t object passed in WaitforEvent ");
    return kEventWaitFailed;
  }
  if (timeoutMs < kWaitForever) {
    pando::utilsLog(nullptr, pando::kLogError, kComponent,
                    "Invalid time-out %lld passed in WaitforEvent ",
                    static_cast<long long>(timeoutMs));
    return kEventWaitFailed;
  }
  EventLock hold(event);
  int result = waitSignalled(event, timeoutMs);
  event->notSignalled = 1;
  return result;
}

int DestroyEvent(PANDO_Event_t* event) {
  if (!event) {
    pando::utilsLog(nullptr, pando::kLogError, kComponent,
                    "NULL PANDO_Event_t object passed in DestroyEvent ");
    return -1;
  }
  pthread_cond_destroy(&event->condition);
  pthread_mutex_destroy(&event->mutex);
  delete event;
  return 0;
}
