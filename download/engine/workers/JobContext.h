#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "download/engine/DownloadSettings.h"
#include "download/engine/EngineEvents.h"
#include "download/engine/common/EngineClock.h"
#include "download/engine/errors/EngineErrorRecord.h"

namespace gde {

class DownloadFileHandle;
class HttpCommunicator;
class QuarryDFileManager;
class Segment;
class SegmentPool;
class SerializerBacklog;
class ThreadActivityBoard;

// A piece of a segment's buffer on its way to the partial file.
struct SegmentPiece {
  std::shared_ptr<uint8_t[]> buffer;  // keeps the bytes alive whatever happens to the segment
  uint64_t generation = 0;            // the segment generation the bytes belong to
  uint32_t bufferOffset = 0;
  uint32_t length = 0;
  uint64_t fileOffset = 0;
};

// What a serialization job needs of its download: the plan it reads, the files it writes, the
// ledger it reports to and the queue a rejected segment goes back to. Every call may come from any
// worker thread at once.
class SerializerContext {
 public:
  virtual ~SerializerContext() = default;

  virtual const DownloadSettings& settings() const = 0;
  virtual bool singleStream() const = 0;

  virtual DownloadFileHandle& getOutputFile() = 0;
  virtual QuarryDFileManager& metaFile() = 0;
  virtual bool keepsResumeRecords() const = 0;

  virtual SerializerBacklog& backlog() = 0;
  virtual SegmentPool& segments() = 0;
  // `done` bytes of the segment are already on disk.
  virtual bool createAndAddDownloadingJob(const std::shared_ptr<Segment>& segment, uint32_t jobId,
                                          uint32_t done, bool atFront) = 0;

  virtual void postError(const EngineErrorRecord& record) = 0;
  virtual void addProgressBytes(uint64_t count) = 0;
  virtual void segmentFinished() = 0;
  virtual int32_t notifyIntercepts(int32_t event, const void* data, uint32_t size) = 0;
};

// What a download job needs besides: the connection of its thread, the range, the thread board,
// the serializer's queue and the counters of received bytes.
class JobContext : public SerializerContext {
 public:
  virtual const EngineClock& clock() const = 0;
  virtual uint32_t segmentSize() const = 0;
  virtual uint64_t rangeStart() const = 0;
  virtual uint64_t remoteFileSize() const = 0;

  // The communicator of a downloader thread, kept across its jobs so connections are reused.
  virtual HttpCommunicator& communicatorFor(uint32_t threadIndex) = 0;
  // Binds the communicator to the download's session and preferences.
  virtual bool prepareCommunicator(HttpCommunicator& communicator) = 0;
  virtual ThreadActivityBoard& activity() = 0;
  virtual bool createAndAddSerializationJob(const std::shared_ptr<Segment>& segment, uint32_t jobId,
                                            SegmentPiece piece) = 0;

  // Bytes from the network; any data starts the count of failed transfers over.
  virtual void addNetworkBytes(uint64_t count) = 0;
  // A transfer failed before the job was done (not a rejected check): no download job starts
  // until the connection back-off (DownloadSettings::connectRetryWaitAfter) has passed.
  virtual void transferFailed() = 0;
  // Bytes a thread handed to the writer: data flowing again forgives earlier failures.
  virtual void addBytesReceived(uint32_t threadIndex, uint64_t count) = 0;
  virtual void addOutstandingSegments(uint32_t count) = 0;
  // The bytes a finished single stream received: its file is cut to this length.
  virtual void setStreamLength(uint64_t length) = 0;
  virtual void setResponseHeader(const std::string& name, const std::string& value) = 0;
};

}  // namespace gde
