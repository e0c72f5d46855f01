// wend-fetch-package: fetches one package by the URL of its manifest through the package
// download manager (workflow 0: manifest, validation document, segmented asset checked segment
// by segment, extraction) into a folder, with a live progress line on stderr.
//
//   wend-fetch-package MANIFEST_URL DESTINATION [--interrupt-at=PERCENT]
//
// --interrupt-at pauses the asset's transfer once the run's percent has reached PERCENT, waits a
// second and resumes it. Exit status: 0 the package is in place, 1 the run failed (its status
// tag is printed), 2 bad arguments.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "download/pdm/PDMImpl.h"

namespace pdm = orvel::PackageDownloadManager;

namespace {

bool ended(int32_t status) {
  return status == pdm::kStatusPausedOnError || status == pdm::kStatusFatal ||
         status == pdm::kStatusComplete;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: %s MANIFEST_URL DESTINATION [--interrupt-at=PERCENT]\n", argv[0]);
    return 2;
  }
  int interruptAt = -1;
  if (argc == 4) {
    if (std::strncmp(argv[3], "--interrupt-at=", 15) != 0) return 2;
    interruptAt = std::atoi(argv[3] + 15);
  }
  pdm::PDMInitData request;
  request.workflowId = pdm::kWorkflowPackageByURL;
  request.initiatorURL = argv[1];
  request.operationURL = argv[2];
  pdm::PDMImpl manager;
  if (manager.init(request) != 0 || manager.start() != 0) {
    std::fprintf(stderr, "the package download could not start\n");
    return 1;
  }
  const auto began = std::chrono::steady_clock::now();
  pdm::PDMProgress progress;
  int32_t shown = -2;
  for (;;) {
    manager.getProgress(progress);
    if (progress.percent != shown) {
      shown = progress.percent;
      std::fprintf(stderr, "\r   %3d %%  (asset of %llu bytes)", std::max(shown, 0),
                   static_cast<unsigned long long>(progress.assetSize));
    }
    if (ended(progress.status)) break;
    if (interruptAt >= 0 && progress.percent >= interruptAt) {
      interruptAt = -1;
      manager.handleClientAction(pdm::PDMImpl::kActionPause);
      std::fprintf(stderr, "\n   interrupted at %d %%, resuming in a second\n", progress.percent);
      std::this_thread::sleep_for(std::chrono::seconds(1));
      manager.handleClientAction(pdm::PDMImpl::kActionResume);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::fprintf(stderr, "\n");
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  if (progress.status != pdm::kStatusComplete) {
    pdm::PDMStatus status;
    manager.getStatus(status);
    std::printf("failed: %s %s\n", status.errorTag.c_str(), status.errorURL.c_str());
    return 1;
  }
  std::printf("complete: %llu bytes in %.2f s\n",
              static_cast<unsigned long long>(progress.assetSize), seconds);
  return 0;
}
