#pragma once

#include <string>

#include "prefs/OpmApi.h"

// The installer's view of the preferences library: the proxy credentials it remembers across runs,
// under domain "PANDO", subdomain "ProxyCredentials", keys "ProxyUsername" and "ProxyPassword".
// Create, init, use, then OPMFreeLibRef before the wrapper goes (the destructor frees a reference
// still held). Results are OpmStatus codes; OPM_ARGUMENTS before init. One thread at a time.
class LBSOPMWrapper {
 public:
  LBSOPMWrapper() = default;
  LBSOPMWrapper(const LBSOPMWrapper&) = delete;
  LBSOPMWrapper& operator=(const LBSOPMWrapper&) = delete;
  ~LBSOPMWrapper();

  // Creates the library reference; again after success it changes nothing.
  int init();
  // Both values or neither: the outputs change only when both are read.
  int readProxyCredentials(std::string& userName, std::string& password);
  int saveProxyCredentials(const std::string& userName, const std::string& password);
  int OPMFreeLibRef();

 private:
  OPMLibRef ref_ = nullptr;
};
