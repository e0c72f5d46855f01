#include "tests/download/pdm/support/PackageService.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

extern char** environ;

namespace wendtest {

bool runProgram(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  // What the program prints is not the test's output.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

PackageService::PackageService(std::string library) {
  if (!run("start", library)) return;
  port_ = static_cast<uint16_t>(std::stoi(readFile(folder_ / "port")));
}

PackageService::~PackageService() {
  if (port_ != 0) run("stop");
}

bool PackageService::run(const char* command, const std::string& library) const {
  std::vector<std::string> arguments = {
      "bash", WEND_SOURCE_DIR "/tools/package-service/package-service", command, folder_.path()};
  if (!library.empty()) arguments.push_back(library);
  return runProgram(arguments);
}

std::string PackageService::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

int PackageService::requestCount(const std::string& path) const {
  // nginx writes its access log line once the answer has gone; give it a moment.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::ifstream log(folder_ / "logs/access.log");
  int count = 0;
  for (std::string line; std::getline(log, line);) {
    if (line.find(" " + path + " ") != std::string::npos ||
        line.find(" " + path + "?") != std::string::npos) {
      ++count;
    }
  }
  return count;
}

}  // namespace wendtest
