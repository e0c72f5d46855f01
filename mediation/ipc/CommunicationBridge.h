#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "mediation/ipc/PacketCodec.h"
#include "platform/UniqueFd.h"

// One end of a two-way packet channel between two processes of this machine: a pair of FIFOs
// "/tmp/<name>_IN" and "/tmp/<name>_OUT", one read and one written by each end. A reader thread of
// the bridge turns the read FIFO's bytes into packets and queues them; the owner takes them with
// getPacket and writes synchronously with writePacket. When the channel fails the bridge queues
// an error packet of type 4 in its own queue.
//
// Contexts: 1 and 2 read "_IN" and write "_OUT", create missing FIFOs (0600) and insist that both
// are their own; 3 and 4 read "_OUT" and write "_IN", never create (a missing FIFO is a peer that
// is not there yet) and insist that both belong to the user the caller names.
//
// Threads: initCommBridge and closeBridge come from one owner thread at a time; writePacket,
// getPacket and closePipes from any thread. Writes and the connect run under the bridge's own
// lock, so packets from several threads never interleave; a write that fails closes the channel
// under the same hold. The queues of all bridges of the process share one lock. The FIFO files
// are never removed.
//
// Codes of initCommBridge: kConnected, kAlreadyInitialized, kBadName (name not UUID text, or
// context not 1-4: no file is touched), kPipeFailure (a FIFO cannot be made or
// opened, is not a FIFO of the expected user with no group or other access, is a link, or the
// reader cannot start), kPeerAbsent (the peer did not open its end in time, or `abort` said stop).
namespace mediation {

// The fixed waits and bounds of a bridge, with the product's values; tests pass smaller ones.
// scaled() stretches the pauses while waiting for the peer; the write pauses stay, as they bound
// how long a slow reader is given rather than how long anyone waits.
struct BridgeSettings {
  std::chrono::microseconds openRetryPause{500'000};
  std::chrono::microseconds endOfFilePause{5'000};
  int endOfFileTolerance = 1000;  // ends of file allowed before a first header
  std::chrono::microseconds writeRetryPause{500};
  int writeCallBudget = 3000;
  size_t queueCap = size_t{16} << 20;  // bytes of queued text; more breaks the channel

  BridgeSettings scaled(double factor) const;
};

class CommunicationBridge {
 public:
  using CBPacket = mediation::Packet;

  enum Status : int {
    kOk = 0,
    kConnected = 0,
    kNothingQueued = 1,
    kTooLarge = 2,
    kWriteRetriesUsedUp = 3,
    kPeerAbsent = 4,
    kAlreadyInitialized = 5,
    kWriteFailed = -1,
    kJoinFailed = -3,
    kNotInitialized = -4,
    kPipeFailure = -6,
    kBadName = -7,
  };

  static constexpr uint32_t kTerminateType = 4;
  static constexpr uint32_t kSenderId = 65535;
  static constexpr char kReadErrorText[] = "Error in reading data from the pipe";
  static constexpr char kClosedText[] = "Pipe is closed on other end or is invalid";
  static constexpr char kSendErrorText[] = "Error in sending the data to the pipe";

  using Settings = BridgeSettings;

  explicit CommunicationBridge(Settings settings = {});
  CommunicationBridge(const CommunicationBridge&) = delete;
  CommunicationBridge& operator=(const CommunicationBridge&) = delete;
  // Closes a bridge that is still live and joins its reader.
  ~CommunicationBridge();

  // Connects as `context` to channel `name`. With `wait`, open attempts go on until `timeoutMs`
  // has passed (always at least one); `abort` is asked between attempts and ends the wait with
  // kPeerAbsent. `peerUid` is the owner contexts 3 and 4 expect (default: this process's euid).
  int initCommBridge(int context, const std::string& name, bool wait, unsigned timeoutMs,
                     const std::function<bool()>& abort = {}, uid_t peerUid = kOwnUid);
  // 0 sent; -4 not initialized; 2 text too long (channel kept); -1 no write end or a write failed
  // (channel closed, error packet queued); 3 the header found no room in time (channel kept).
  int writePacket(const CBPacket& packet);
  // 0 the oldest packet taken; 1 nothing queued (`out` = the empty packet); -4 nothing queued
  // and the channel is down (`out` untouched).
  int getPacket(CBPacket& out);
  // Stops the reader, closes both ends and joins the reader. 0, or -3 when there was no reader
  // to join (nothing else changes then). Returns at once even when the peer is silent.
  int closeBridge();
  // Closes the write end, tells the reader to close the read end, and marks the channel down.
  // Idempotent.
  void closePipes();

  bool initialized() const { return initialized_.load(); }
  const std::string& basePath() const { return basePath_; }

  // Creates the channel's FIFOs for this process's user (mode 0600) where they are missing, so a
  // peer can be handed the name before this end connects. kOk, kBadName or kPipeFailure.
  static int createPipes(const std::string& name);
  // Whether `name` may name a channel: UUID text, 8-4-4-4-12 hexadecimal digits.
  static bool isValidName(const std::string& name);

  static constexpr uid_t kOwnUid = static_cast<uid_t>(-1);

 private:
  enum class Attempt { kConnected, kNotYet, kFailed };

  Attempt tryOpen(const std::string& readPath, const std::string& writePath, uid_t owner,
                  bool mayBeMissing);
  bool pauseBeforeRetry(std::chrono::steady_clock::time_point deadline,
                        const std::function<bool()>& abort);
  void readerLoop(int inFd);
  // After a read or write failure: queues the error packet and closes the channel. The Locked
  // forms expect mutex_ held.
  void failChannel(const char* text);
  void failChannelLocked(const char* text);
  void closePipesLocked();
  // Unlocks before it joins the reader.
  int closeBridgeLocked(std::unique_lock<std::mutex>& lock);
  int writeAll(const char* bytes, size_t length);
  void queueError(const char* text);
  bool push(CBPacket packet);
  void joinReader();

  const Settings settings_;
  const std::string lockName_;
  std::mutex mutex_;            // the bridge's own lock, named by lockName_
  std::string basePath_;        // guarded by mutex_
  platform::UniqueFd inPipe_;   // guarded by mutex_ until the reader owns it
  platform::UniqueFd outPipe_;  // guarded by mutex_
  platform::UniqueFd stop_;     // eventfd: set by closePipes, cleared by initCommBridge
  std::atomic<bool> running_{false};
  std::atomic<bool> initialized_{false};
  std::thread reader_;  // owner thread only

  // Guarded by the process-wide queue lock.
  std::deque<CBPacket> queue_;
  size_t queuedBytes_ = 0;
};

}  // namespace mediation
