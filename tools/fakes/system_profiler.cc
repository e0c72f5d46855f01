// A stand-in for system_profiler for tests: answers "-xml SPDisplaysDataType" with the bytes of
// the file WEND_FAKE_SYSTEM_PROFILER_REPORT (nothing when unset) on standard output, and with
// WEND_FAKE_SYSTEM_PROFILER_NOISE bytes of chatter on standard error, as the real tool logs
// there, so a reader that mixes the two streams gets a broken report. Exits with
// WEND_FAKE_SYSTEM_PROFILER_EXIT (0 when unset); any other argument vector exits 2.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3 || std::strcmp(argv[1], "-xml") != 0 ||
      std::strcmp(argv[2], "SPDisplaysDataType") != 0) {
    std::fprintf(stderr, "system_profiler (fake): unexpected arguments\n");
    return 2;
  }
  if (const char* report = std::getenv("WEND_FAKE_SYSTEM_PROFILER_REPORT")) {
    std::ifstream file(report, std::ios::binary);
    std::cout << std::string(std::istreambuf_iterator<char>(file),
                             std::istreambuf_iterator<char>());
    std::cout.flush();
  }
  if (const char* noise = std::getenv("WEND_FAKE_SYSTEM_PROFILER_NOISE")) {
    const std::string line = "<key>noise</key> 2026-12-07 system_profiler[42] chatter\n";
    for (long left = std::atol(noise); left > 0; left -= static_cast<long>(line.size())) {
      std::cerr << line;
    }
  }
  const char* exitCode = std::getenv("WEND_FAKE_SYSTEM_PROFILER_EXIT");
  return exitCode != nullptr ? std::atoi(exitCode) : 0;
}
