#pragma once

#include <chrono>
#include <cstdint>

namespace gde {

// Every fixed wait and limit of one download, with the product's values as defaults. Tests pass
// shorter ones; multi-process tests scale them all with WEND_TIME_SCALE (fromEnvironment).
struct DownloadSettings {
  using Millis = std::chrono::milliseconds;

  Millis tick{10};                     // the download thread's tick
  Millis pausedTick{100};              // the extra wait of a tick while paused
  Millis hangTimeout{101000};          // a busy job silent this long is cancelled
  uint32_t deadConnectionLimit = 100;  // cancellations before the dead-connection error
  Millis workerIdleWait{100};          // a worker with nothing to do looks again after this
  Millis jobStopForceAfter{3000};      // a job that does not stop is terminated ...
  Millis jobStopAbandonAfter{10000};   // ... and given up after this
  Millis sizeRetryWait{100};           // between attempts of the remote-size request
  uint32_t sizeRetryAttempts = 5;
  Millis sizeRetryWindow{121000};
  Millis singleStreamSilence{60000};  // a single stream silent this long has timed out
  Millis fileCreateRetryWaits[3] = {Millis{0}, Millis{500}, Millis{1000}};
  double retryAfterScale = 1.0;  // applied to Retry-After and back-off waits
  // A segment whose bytes fail their check this often makes the download fatal. Before it is
  // fetched again it waits recheckWait, doubled per rejection up to recheckWaitLimit, without
  // holding a worker.
  uint32_t segmentCheckAttempts = 11;
  Millis recheckWait{200};
  Millis recheckWaitLimit{5000};
  // After a transfer that failed otherwise (connection refused, reset or cut, time-out, a busy or
  // garbled answer) no download job starts for connectRetryWait, doubled per such failure in a
  // row across the download up to connectRetryWaitLimit; data arriving starts the count over.
  Millis connectRetryWait{100};
  Millis connectRetryWaitLimit{1000};
  // Bytes waiting for the disk at most. Small: a piece in the backlog keeps its whole segment's
  // buffer alive, and twelve threads' segments in flight already take 24 MiB at the default size.
  uint64_t serializerBacklogLimit = 4ull << 20;
  uint32_t pieceSize = 0x40000;  // bytes handed to the writer at a time

  // The wait before the next fetch of a segment rejected `failures` times (none: no wait).
  Millis retryWait(uint32_t failures) const;
  // The wait before the next transfer after `failures` failed transfers in a row.
  Millis connectRetryWaitAfter(uint32_t failures) const;

  // The defaults with every duration multiplied by WEND_TIME_SCALE when it is a positive number.
  static DownloadSettings fromEnvironment();
  DownloadSettings scaled(double factor) const;
};

}  // namespace gde
