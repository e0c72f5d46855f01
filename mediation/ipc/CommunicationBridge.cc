#include "mediation/ipc/CommunicationBridge.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/ComponentLog.h"
#include "foundation/text/StringUtils.h"

namespace mediation {
namespace {

using Clock = std::chrono::steady_clock;

constexpr pando::ComponentLog kLog{"CommBridge", pando::ComponentLog::Route::kUtilities};
constexpr size_t kUuidLength = 36;
constexpr size_t kReadChunk = 65536;
// Longest stretch between two looks at the abort predicate while waiting for the peer.
constexpr auto kAbortCheckInterval = std::chrono::milliseconds(20);

// The lock "edt.CB.messageQueue" over the packet queues of every bridge of the process.
std::mutex& queueLock() {
  static std::mutex lock;
  return lock;
}

timespec toTimespec(std::chrono::microseconds duration) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration);
  return timespec{static_cast<time_t>(seconds.count()),
                  static_cast<long>((duration - seconds).count() * 1000)};
}

// Waits up to `duration` for `events` on `fd`; true when they came.
bool waitFor(int fd, short events, std::chrono::microseconds duration) {
  pollfd entry = {fd, events, 0};
  const timespec timeout = toTimespec(duration);
  return ppoll(&entry, 1, &timeout, nullptr) > 0;
}

enum class FifoCheck { kGood, kMissing, kBad };

// A FIFO owned by `owner` that no group or other user may touch.
bool trustworthy(const struct stat& info, uid_t owner) {
  return S_ISFIFO(info.st_mode) && info.st_uid == owner && (info.st_mode & 077) == 0;
}

FifoCheck checkPath(const std::string& path, uid_t owner, struct stat& info) {
  if (lstat(path.c_str(), &info) != 0)
    return errno == ENOENT ? FifoCheck::kMissing : FifoCheck::kBad;
  return trustworthy(info, owner) ? FifoCheck::kGood : FifoCheck::kBad;
}

// The descriptor must be the very FIFO lstat looked at, so a swap between the two is refused.
bool sameFifo(int fd, const struct stat& seen, uid_t owner) {
  struct stat info;
  return fstat(fd, &info) == 0 && trustworthy(info, owner) && info.st_dev == seen.st_dev &&
         info.st_ino == seen.st_ino;
}

// kOk when a FIFO is at `path` (made 0600 now, or there already), else kPipeFailure. The umask
// is left alone: it can only take bits away from 0600.
int makeFifo(const std::string& path, bool writeEnd) {
  if (mkfifo(path.c_str(), 0600) == 0) return CommunicationBridge::kOk;
  const int error = errno;
  if (error == EEXIST) {
    kLog(pando::kLogInfo, writeEnd ? "Write pipe already exists." : "Read pipe already exists.");
    return CommunicationBridge::kOk;
  }
  struct stat info;
  const int exists = lstat(path.c_str(), &info);
  if (writeEnd) {
    kLog(pando::kLogError,
         "Creating write pipe failed with access code %i and mkfifo code %i, errno = %i", exists,
         -1, error);
  } else {
    kLog(pando::kLogError,
         "Creating read pipe failed with access code %i & mkfifo code %i, errno = %i", exists, -1,
         error);
  }
  return CommunicationBridge::kPipeFailure;
}

// Makes the channel's two FIFOs where missing, in the order given (`writeEnd` tells the log which
// is which). Both are looked at first: when either is there and not a private FIFO of ours, the
// other is not made either.
int makeFifoPair(const std::string (&paths)[2], const bool (&writeEnd)[2]) {
  struct stat info;
  for (const std::string& path : paths) {
    if (checkPath(path, geteuid(), info) == FifoCheck::kBad) {
      kLog(pando::kLogError, "Pipe %s is not a private pipe of this user; nothing made",
           path.c_str());
      return CommunicationBridge::kPipeFailure;
    }
  }
  for (int i = 0; i < 2; ++i) {
    if (makeFifo(paths[i], writeEnd[i]) != CommunicationBridge::kOk ||
        checkPath(paths[i], geteuid(), info) != FifoCheck::kGood) {
      return CommunicationBridge::kPipeFailure;
    }
  }
  return CommunicationBridge::kOk;
}

}  // namespace

BridgeSettings BridgeSettings::scaled(double factor) const {
  auto scale = [factor](std::chrono::microseconds duration) {
    return std::chrono::microseconds(static_cast<int64_t>(duration.count() * factor));
  };
  BridgeSettings result = *this;
  result.openRetryPause = scale(openRetryPause);
  result.endOfFilePause = scale(endOfFilePause);
  return result;
}

bool CommunicationBridge::isValidName(const std::string& name) {
  // 8-4-4-4-12 hexadecimal digits.
  if (name.size() != kUuidLength) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const bool hyphenPlace = i == 8 || i == 13 || i == 18 || i == 23;
    const bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    if (hyphenPlace ? c != '-' : !hex) return false;
  }
  return true;
}

int CommunicationBridge::createPipes(const std::string& name) {
  if (!isValidName(name)) return kBadName;
  const std::string base = "/tmp/" + name;
  return makeFifoPair({base + "_IN", base + "_OUT"}, {false, true});
}

CommunicationBridge::CommunicationBridge(Settings settings)
    : settings_(settings),
      lockName_([] {
        std::string uuid;
        StringUtils::utilCreateUUIDString(uuid);
        return "edt.CB.PipeDataTransfer" + uuid;
      }()),
      stop_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CommunicationBridge::~CommunicationBridge() {
  if (reader_.joinable() || initialized_) closeBridge();
}

int CommunicationBridge::initCommBridge(int context, const std::string& name, bool wait,
                                        unsigned timeoutMs, const std::function<bool()>& abort,
                                        uid_t peerUid) {
  kLog(pando::kLogTrace, "Inside initCommBridge, creating pipe %s", name.c_str());
  // A reader left by a broken channel was told to stop when the channel broke.
  if (!initialized_ && reader_.joinable()) reader_.join();
  std::unique_lock lock(mutex_);
  if (initialized_) {
    kLog(pando::kLogInfo, "Pipe already initialized.");
    return kAlreadyInitialized;
  }
  if (name.empty()) {
    kLog(pando::kLogWarn, "Pipe name is empty.");
    return kBadName;
  }
  if (!isValidName(name)) {
    kLog(pando::kLogWarn, "Pipe name is invalid.");
    return kBadName;
  }
  if (context < 1 || context > 4) {
    kLog(pando::kLogWarn, "Pipe context is invalid with value %i", context);
    return kBadName;
  }
  if (!stop_.valid()) return kPipeFailure;

  basePath_ = "/tmp/" + name;
  const bool creator = context <= 2;
  const std::string readPath = basePath_ + (creator ? "_IN" : "_OUT");
  const std::string writePath = basePath_ + (creator ? "_OUT" : "_IN");
  const uid_t owner = creator || peerUid == kOwnUid ? geteuid() : peerUid;
  if (creator && makeFifoPair({writePath, readPath}, {true, false}) != kOk) return kPipeFailure;

  uint64_t drained;
  while (read(stop_.get(), &drained, sizeof drained) > 0) {
  }
  const Clock::time_point deadline =
      Clock::now() + (wait ? std::chrono::milliseconds(timeoutMs) : std::chrono::milliseconds(0));
  Attempt attempt;
  for (;;) {
    attempt = tryOpen(readPath, writePath, owner, !creator);
    if (attempt != Attempt::kNotYet) break;
    if (Clock::now() >= deadline || (abort && abort()) || !pauseBeforeRetry(deadline, abort)) {
      break;
    }
  }
  if (attempt == Attempt::kFailed) {
    inPipe_.reset();
    return kPipeFailure;
  }
  kLog(pando::kLogTrace, "Opening write pipe returned status %i", outPipe_.get());
  if (attempt != Attempt::kConnected) {
    kLog(pando::kLogError, "Opening write pipe failed. Errno couldn't be determined.");
    inPipe_.reset();
    return kPeerAbsent;
  }

  initialized_ = true;
  {
    std::lock_guard queueGuard(queueLock());
    queue_.clear();
    queuedBytes_ = 0;
  }
  signal(SIGPIPE, SIG_IGN);
  running_ = true;
  const int inFd = inPipe_.release();
  try {
    reader_ = std::thread(&CommunicationBridge::readerLoop, this, inFd);
  } catch (const std::system_error& error) {
    kLog(pando::kLogError, "Creating new thread for read pipe failed with status %i.",
         error.code().value());
    inPipe_.reset(inFd);
    running_ = false;
    closeBridgeLocked(lock);
    return kPipeFailure;
  }
  return kConnected;
}

CommunicationBridge::Attempt CommunicationBridge::tryOpen(const std::string& readPath,
                                                          const std::string& writePath, uid_t owner,
                                                          bool mayBeMissing) {
  struct stat seen;
  if (!inPipe_.valid()) {
    FifoCheck check = checkPath(readPath, owner, seen);
    if (check == FifoCheck::kMissing && mayBeMissing) return Attempt::kNotYet;
    if (check != FifoCheck::kGood) {
      kLog(pando::kLogError, "Opening read pipe failed with return code %i, errno = %i", -1,
           check == FifoCheck::kMissing ? ENOENT : EPERM);
      return Attempt::kFailed;
    }
    platform::UniqueFd fd(open(readPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    kLog(pando::kLogTrace, "Opening read pipe returned status %i", fd.get());
    if (!fd.valid() || !sameFifo(fd.get(), seen, owner)) {
      kLog(pando::kLogError, "Opening read pipe failed with return code %i, errno = %i", fd.get(),
           fd.valid() ? EPERM : errno);
      return Attempt::kFailed;
    }
    inPipe_ = std::move(fd);
  }
  FifoCheck check = checkPath(writePath, owner, seen);
  if (check == FifoCheck::kMissing && mayBeMissing) return Attempt::kNotYet;
  if (check != FifoCheck::kGood) {
    kLog(pando::kLogError, "Opening write pipe failed with errno %i",
         check == FifoCheck::kMissing ? ENOENT : EPERM);
    return Attempt::kFailed;
  }
  platform::UniqueFd fd(open(writePath.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.valid()) {
    // No reader at the other end yet.
    if (errno == ENXIO) return Attempt::kNotYet;
    kLog(pando::kLogError, "Opening write pipe failed with errno %i", errno);
    return Attempt::kFailed;
  }
  if (!sameFifo(fd.get(), seen, owner)) {
    kLog(pando::kLogError, "Opening write pipe failed with errno %i", EPERM);
    return Attempt::kFailed;
  }
  outPipe_ = std::move(fd);
  return Attempt::kConnected;
}

bool CommunicationBridge::pauseBeforeRetry(Clock::time_point deadline,
                                           const std::function<bool()>& abort) {
  const Clock::time_point end = std::min(deadline, Clock::now() + settings_.openRetryPause);
  for (Clock::time_point now = Clock::now(); now < end; now = Clock::now()) {
    auto slice = std::min<Clock::duration>(end - now, kAbortCheckInterval);
    waitFor(stop_.get(), POLLIN, std::chrono::ceil<std::chrono::microseconds>(slice));
    if (abort && abort()) return false;
  }
  return true;
}

void CommunicationBridge::readerLoop(int inFd) {
  platform::UniqueFd in(inFd);
  PacketDecoder decoder;
  int endsOfFile = 0;
  std::vector<char> buffer(kReadChunk);
  std::vector<CBPacket> packets;
  while (running_ && initialized_) {
    pollfd fds[2] = {{in.get(), POLLIN, 0}, {stop_.get(), POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      kLog(pando::kLogWarn, "Error in reading packet info from the pipe %i, errno = %i", in.get(),
           errno);
      failChannel(kReadErrorText);
      return;
    }
    // A stop noticed between reads queues nothing.
    if (fds[1].revents != 0 || !running_ || !initialized_) return;
    if (fds[0].revents == 0) continue;
    const ssize_t got = read(in.get(), buffer.data(), buffer.size());
    if (got < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      kLog(pando::kLogWarn,
           decoder.inPayload() ? "Error in reading packet buffer from the pipe %i, errno = %i"
                               : "Error in reading packet info from the pipe %i, errno = %i",
           in.get(), errno);
      failChannel(kReadErrorText);
      return;
    }
    if (got == 0) {
      // Before the first header the peer may still be on its way to opening its write end.
      if (!decoder.sawHeader() && !decoder.midPacket() &&
          endsOfFile++ < settings_.endOfFileTolerance) {
        if (waitFor(stop_.get(), POLLIN, settings_.endOfFilePause)) return;
        continue;
      }
      kLog(pando::kLogInfo, "Pipe %i is closed on other end or is invalid", in.get());
      failChannel(kClosedText);
      return;
    }
    packets.clear();
    // The packets before a malformed header are whole: they are delivered, then the channel ends.
    const bool wellFormed = decoder.feed(buffer.data(), static_cast<size_t>(got), packets);
    bool queued = true;
    for (CBPacket& packet : packets) {
      if (queued) queued = push(std::move(packet));
    }
    if (!wellFormed || !queued) {
      kLog(pando::kLogInfo, "Pipe %i is closed on other end or is invalid", in.get());
      failChannel(kClosedText);
      return;
    }
  }
}

void CommunicationBridge::failChannel(const char* text) {
  std::lock_guard lock(mutex_);
  failChannelLocked(text);
}

void CommunicationBridge::failChannelLocked(const char* text) {
  queueError(text);
  closePipesLocked();
}

bool CommunicationBridge::push(CBPacket packet) {
  std::lock_guard lock(queueLock());
  if (queuedBytes_ + packet.data.size() > settings_.queueCap) return false;
  queuedBytes_ += packet.data.size();
  queue_.push_back(std::move(packet));
  return true;
}

void CommunicationBridge::queueError(const char* text) {
  CBPacket packet;
  packet.type = kTerminateType;
  packet.id = kSenderId;
  packet.data = text;
  packet.size = static_cast<uint32_t>(packet.data.size() + 1);
  std::lock_guard lock(queueLock());
  queuedBytes_ += packet.data.size();
  queue_.push_back(std::move(packet));
}

int CommunicationBridge::writePacket(const CBPacket& packet) {
  std::lock_guard lock(mutex_);
  if (!initialized_) {
    kLog(pando::kLogWarn, "Pipe %i not initialized, aborting write.", outPipe_.get());
    return kNotInitialized;
  }
  const size_t size = packet.data.size() + 1;
  if (size > kMaxPacketSize) {
    kLog(pando::kLogWarn, "Data size %i is larger than max buffer size, aborting write.",
         static_cast<int>(std::min<size_t>(size, INT32_MAX)));
    return kTooLarge;
  }
  if (!outPipe_.valid()) {
    kLog(pando::kLogWarn, "Out pipe handle is invalid, aborting write.");
    return kWriteFailed;
  }
  unsigned char header[kPacketHeaderSize];
  encodeHeader(packet.type, packet.id, static_cast<uint32_t>(size), header);
  int result = writeAll(reinterpret_cast<const char*>(header), sizeof header);
  if (result == kWriteRetriesUsedUp) {
    // A header is written whole or not at all, so the stream is still intact.
    kLog(pando::kLogWarn, "Writing info packet to pipe failed with error code %i", result);
    return kWriteRetriesUsedUp;
  }
  if (result != kOk) {
    kLog(pando::kLogWarn, "Writing info packet to pipe failed with error code %i", result);
    failChannelLocked(kSendErrorText);
    return kWriteFailed;
  }
  result = writeAll(packet.data.c_str(), size);
  if (result != kOk) {
    kLog(pando::kLogWarn, "Writing data packet to pipe failed with error code %i", result);
    failChannelLocked(kSendErrorText);
    return kWriteFailed;
  }
  return kOk;
}

int CommunicationBridge::writeAll(const char* bytes, size_t length) {
  const int fd = outPipe_.get();
  size_t written = 0;
  for (int calls = 0; written < length; ++calls) {
    if (calls >= settings_.writeCallBudget) {
      kLog(pando::kLogWarn, "Aborting write on pipe %i , max tries exceeded", fd);
      return kWriteRetriesUsedUp;
    }
    const ssize_t count = write(fd, bytes + written, length - written);
    if (count < 0) {
      if (errno != EAGAIN && errno != EINTR) {
        kLog(pando::kLogWarn, "Aborting write on pipe %i , errno: %i", fd, errno);
        return kWriteFailed;
      }
      waitFor(fd, POLLOUT, settings_.writeRetryPause);
      continue;
    }
    if (count == 0) {
      kLog(pando::kLogWarn, "Aborting write on pipe %i , pipe closed on other end.", fd);
      return kWriteFailed;
    }
    written += static_cast<size_t>(count);
  }
  return kOk;
}

int CommunicationBridge::getPacket(CBPacket& out) {
  std::lock_guard lock(queueLock());
  if (!queue_.empty()) {
    out = std::move(queue_.front());
    queue_.pop_front();
    queuedBytes_ -= std::min(queuedBytes_, out.data.size());
    return kOk;
  }
  if (!initialized_) return kNotInitialized;
  out = CBPacket{kSenderId, kSenderId, 0, ""};
  return kNothingQueued;
}

void CommunicationBridge::closePipes() {
  std::lock_guard lock(mutex_);
  closePipesLocked();
}

void CommunicationBridge::closePipesLocked() {
  if (outPipe_.valid()) {
    kLog(pando::kLogTrace, "Closing outPipe %i", outPipe_.get());
    outPipe_.reset();
  }
  if (inPipe_.valid()) {
    kLog(pando::kLogTrace, "Closing inPipe %i", inPipe_.get());
    inPipe_.reset();
  }
  initialized_ = false;
  // The reader owns the read end while it runs and closes it once it sees this.
  const uint64_t one = 1;
  if (stop_.valid() && write(stop_.get(), &one, sizeof one) < 0) {
    // The counter is already far from zero; the reader is told either way.
  }
}

int CommunicationBridge::closeBridge() {
  std::unique_lock lock(mutex_);
  return closeBridgeLocked(lock);
}

int CommunicationBridge::closeBridgeLocked(std::unique_lock<std::mutex>& lock) {
  kLog(pando::kLogTrace, "Inside closeBridge");
  running_ = false;
  closePipesLocked();
  kLog(pando::kLogTrace, "All pipes closed properly");
  // The reader takes the lock when it fails the channel: it is joined without it.
  lock.unlock();
  if (!reader_.joinable()) {
    kLog(pando::kLogWarn, "pthread_join failed with return code %i", ESRCH);
    return kJoinFailed;
  }
  reader_.join();
  return kOk;
}

}  // namespace mediation
