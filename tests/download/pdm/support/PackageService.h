#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/TemporaryFolder.h"

namespace wendtest {

// The local package service (tools/package-service) in a private prefix: nginx on 127.0.0.1
// serving freshly generated sample packages, stopped when the object goes. port() is 0 when it
// could not start. With a library file, the applications document offers it as the installer
// library's package.
class PackageService {
 public:
  explicit PackageService(std::string library = "");
  ~PackageService();
  PackageService(const PackageService&) = delete;
  PackageService& operator=(const PackageService&) = delete;

  uint16_t port() const { return port_; }
  // "http://127.0.0.1:<port>" followed by `path`.
  std::string url(const std::string& path) const;
  // The served tree and the tree the sample archive was made of.
  std::string www() const { return folder_ / "www"; }
  std::string source() const { return folder_ / "source"; }
  // How many requests nginx has logged for the path (query strings ignored).
  int requestCount(const std::string& path) const;

 private:
  bool run(const char* command, const std::string& library = "") const;

  TemporaryFolder folder_;
  uint16_t port_ = 0;
};

// Runs a program with its arguments (no shell) and waits; true when it exits with status 0.
bool runProgram(const std::vector<std::string>& arguments);

}  // namespace wendtest
