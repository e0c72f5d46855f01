// wend-fetch: downloads one URL into a folder through the download engine's entry points.
//
//   wend-fetch URL FOLDER NAME [--threads=N] [--segment=BYTES] [--all-threads] [--progress]
//              [--stop-at=PERCENT]
//
// --all-threads runs every downloader thread from the start instead of letting the adaptive
// controller ramp up; --progress keeps a live line (percent, rate, active threads) on stderr;
// --stop-at stops the download once that share of the file is on disk, leaving the partial file
// and its resume meta file for the next run. Every change of the active thread count is reported
// on stderr with the time it was seen ("threads: N at S s"), so a ramp can be followed. Exit
// status: 0 complete, 3 stopped as asked, 1 the download failed, 2 bad arguments. The last line on
// stdout reports bytes, seconds and the final state.

#include <curl/curl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "download/engine/DownloadGlobalData.h"
#include "download/engine/DownloadLibrary.h"

namespace {

struct Options {
  std::string url;
  std::string folder;
  std::string name;
  uint32_t threads = 12;
  uint32_t segment = 0x200000;
  bool allThreads = false;
  bool progress = false;
  double stopAt = 0;
};

bool parse(int argc, char** argv, Options& out) {
  if (argc < 4) return false;
  out.url = argv[1];
  out.folder = argv[2];
  out.name = argv[3];
  for (int i = 4; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](const char* prefix) { return arg.substr(std::strlen(prefix)); };
    if (arg.rfind("--threads=", 0) == 0) {
      out.threads = static_cast<uint32_t>(std::stoul(value("--threads=")));
    } else if (arg.rfind("--segment=", 0) == 0) {
      out.segment = static_cast<uint32_t>(std::stoul(value("--segment=")));
    } else if (arg.rfind("--stop-at=", 0) == 0) {
      out.stopAt = std::stod(value("--stop-at="));
    } else if (arg == "--all-threads") {
      out.allThreads = true;
    } else if (arg == "--progress") {
      out.progress = true;
    } else {
      return false;
    }
  }
  return true;
}

// Keeps the active threads from the queue statistics and reports each change with its time.
class Figures : public gde::IDleIntercept {
 public:
  int32_t onEvent(int32_t event, const void* data, uint32_t size) override {
    if (event == gde::kEventQueueStatistics && size == sizeof(gde::QueueStatistics)) {
      const uint32_t active =
          static_cast<const gde::QueueStatistics*>(data)->activeDownloaderThreads;
      if (activeThreads.exchange(active) != active) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::fprintf(stderr, "threads: %u at %.2f s\n", active, seconds);
      }
    }
    return 0;
  }
  std::atomic<uint32_t> activeThreads{0};
  const std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
};

// The engine keeps its thread count within limits; say so rather than run another count silently.
void warnAboutThreadCount(uint32_t threads) {
  using gde::DownloadPreference;
  if (threads >= 1 && threads <= DownloadPreference::kMaxThreadCount) return;
  std::fprintf(stderr,
               "wend-fetch: the engine takes 1 to %u threads without the adaptive algorithm; it "
               "runs %u instead of %u\n",
               DownloadPreference::kMaxThreadCount, DownloadPreference::kDefaultThreadCount,
               threads);
}

void printProgress(uint64_t done, uint64_t total, double rateMBs, uint32_t threads) {
  double percent = total ? 100.0 * static_cast<double>(done) / static_cast<double>(total) : 0.0;
  std::fprintf(stderr, "\r  %6.2f %%  %8.1f MB/s  %2u threads  %llu / %llu bytes   ", percent,
               rateMBs, threads, static_cast<unsigned long long>(done),
               static_cast<unsigned long long>(total));
}

// Why the engine refused to start, in words the user can act on.
void explainStartFailure(gde::DLEFileDownloader& handle, int32_t result, const Options& options) {
  gde::DLEErrorInfo error;
  handle.getLastError(error);
  if (error.errorType == gde::kDleErrorNameClash) {
    std::fprintf(stderr, "wend-fetch: the download could not start: %s/%s is already there\n",
                 options.folder.c_str(), options.name.c_str());
    return;
  }
  if (error.errorCode == CURLE_PEER_FAILED_VERIFICATION) {
    std::fprintf(stderr,
                 "wend-fetch: the download could not start: the server's certificate is not "
                 "trusted (%s); to trust another CA, name its PEM file in WEND_CA_FILE\n",
                 error.message.c_str());
    return;
  }
  std::fprintf(stderr, "wend-fetch: the download could not start (%d): %s\n", result,
               error.message.empty() ? "no reason given" : error.message.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: wend-fetch URL FOLDER NAME [--threads=N] [--segment=BYTES] "
                 "[--all-threads] [--progress] [--stop-at=PERCENT]\n");
    return 2;
  }
  gde::DLELibRef* library = nullptr;
  gde::DLEFileDownloader* handle = nullptr;
  if (gde::initDownloadLibrary(&library) != 0 || gde::createFileDownloader(library, &handle) != 0) {
    return 1;
  }
  warnAboutThreadCount(options.threads);
  Figures figures;
  handle->registerIntercept(gde::kEventQueueStatistics, &figures);
  gde::DLEInputStruct request;
  request.serverfullpath = options.url;
  request.targetFolder = options.folder;
  request.targetFileName = options.name;
  request.adaptiveThreadRamp = options.allThreads ? 0 : 1;
  request.preferences.threadCount = options.threads;
  request.preferences.segmentSize = options.segment;

  auto started = std::chrono::steady_clock::now();
  uint64_t total = 0;
  uint8_t ranged = 0;
  int32_t result = handle->init(request);
  if (result == 0) result = handle->getRemoteFileSize(total, ranged);
  if (result == 0) result = handle->start();
  if (result != 0) {
    explainStartFailure(*handle, result, options);
    gde::closeFileDownloader(&handle);
    gde::endDownloadLibrary(&library);
    return 1;
  }
  gde::DLEProgress progress;
  handle->getProgress(progress);
  // A resumed download starts with bytes on disk: the rate counts only what this run fetches.
  uint64_t lastBytes = progress.bytesDownloaded;
  auto lastTime = started;
  double rate = 0;
  bool stopped = false;
  while (true) {
    std::this_thread::sleep_for(std::chrono::milliseconds(options.progress ? 100 : 5));
    handle->getProgress(progress);
    auto now = std::chrono::steady_clock::now();
    if (options.progress && now - lastTime >= std::chrono::milliseconds(500)) {
      double seconds = std::chrono::duration<double>(now - lastTime).count();
      rate = static_cast<double>(progress.bytesDownloaded - lastBytes) / seconds / 1e6;
      lastBytes = progress.bytesDownloaded;
      lastTime = now;
      printProgress(progress.bytesDownloaded, total, rate, figures.activeThreads.load());
    }
    if (progress.state != gde::kDleStateRunning && progress.state != gde::kDleStateStopped) break;
    if (options.stopAt > 0 && total > 0 &&
        static_cast<double>(progress.bytesDownloaded) >=
            static_cast<double>(total) * options.stopAt / 100) {
      stopped = true;
      break;
    }
  }
  if (options.progress) {
    printProgress(progress.bytesDownloaded, total, rate, figures.activeThreads.load());
    std::fprintf(stderr, "\n");
  }
  gde::DLEErrorInfo error;
  handle->getLastError(error);
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  gde::closeFileDownloader(&handle);
  gde::endDownloadLibrary(&library);
  const char* outcome = stopped                                    ? "stopped"
                        : progress.state == gde::kDleStateComplete ? "complete"
                                                                   : "failed";
  std::printf("%s %llu bytes in %.3f s\n", outcome,
              static_cast<unsigned long long>(progress.bytesDownloaded), seconds);
  if (!stopped && progress.state != gde::kDleStateComplete) {
    std::fprintf(stderr, "wend-fetch: error %d (%d): %s\n", error.errorType, error.errorCode,
                 error.message.c_str());
    return 1;
  }
  return stopped ? 3 : 0;
}
