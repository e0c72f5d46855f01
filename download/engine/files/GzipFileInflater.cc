#include "download/engine/files/GzipFileInflater.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "download/engine/files/EngineFileSystem.h"
#include "foundation/text/InflateStream.h"
#include "platform/UniqueFd.h"

namespace gde {

namespace {

constexpr size_t kChunk = 256 * 1024;
constexpr int kGzipWindowBits = 15 + 16;

bool writeAll(int fd, const unsigned char* data, size_t length) {
  while (length > 0) {
    ssize_t written = ::write(fd, data, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    length -= static_cast<size_t>(written);
  }
  return true;
}

struct Failure {
  std::string message;
  int systemError = 0;
};

// Inflates every gzip member of `in` into `out`.
bool inflateStream(int in, int out, Failure& failure) {
  StringUtils::InflateStream inflater(kGzipWindowBits);
  if (!inflater.ready()) {
    failure = {"the inflater could not start", 0};
    return false;
  }
  z_stream& stream = inflater.get();
  std::vector<unsigned char> input(kChunk), output(kChunk);
  bool ended = false;
  while (true) {
    ssize_t got = ::read(in, input.data(), input.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      failure = {"the downloaded file could not be read", errno};
      return false;
    }
    if (got == 0) break;
    stream.next_in = input.data();
    stream.avail_in = static_cast<uInt>(got);
    while (stream.avail_in > 0) {
      if (ended) {
        inflateReset(&stream);
        ended = false;
      }
      stream.next_out = output.data();
      stream.avail_out = static_cast<uInt>(output.size());
      int result = ::inflate(&stream, Z_NO_FLUSH);
      if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
        failure = {"the gzip stream is damaged", 0};
        return false;
      }
      size_t produced = output.size() - stream.avail_out;
      if (!writeAll(out, output.data(), produced)) {
        failure = {"the inflated file could not be written", errno};
        return false;
      }
      if (result == Z_STREAM_END) ended = true;
      if (result == Z_BUF_ERROR && produced == 0) break;
    }
  }
  if (!ended) {
    failure = {"the gzip stream ends early", 0};
    return false;
  }
  return true;
}

}  // namespace

bool GzipFileInflater::inflate(const std::string& source, const std::string& target,
                               std::string& error, int& systemError) {
  Failure failure;
  platform::UniqueFd in(::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (in.get() < 0) {
    error = "the downloaded file could not be opened";
    systemError = errno;
    return false;
  }
  std::string temporary = target + ".inflating.XXXXXX";
  platform::UniqueFd out(::mkstemp(temporary.data()));
  if (out.get() < 0) {
    error = "the temporary file could not be created";
    systemError = errno;
    return false;
  }
  ::fchmod(out.get(), 0644);
  bool ok = inflateStream(in.get(), out.get(), failure);
  if (ok && ::fsync(out.get()) != 0) failure = {"the inflated file could not be flushed", errno};
  if (ok && ::close(out.release()) != 0) {
    ok = false;
    failure = {"the inflated file could not be closed", errno};
  }
  ok = ok && failure.message.empty();
  int code = 0;
  if (ok && !renameFile(target, temporary, code)) {
    ok = false;
    failure = {"the inflated file could not be put in place", code};
  }
  if (!ok) {
    ::unlink(temporary.c_str());
    error = failure.message;
    systemError = failure.systemError;
    return false;
  }
  deleteFile(source, code);
  return true;
}

}  // namespace gde
