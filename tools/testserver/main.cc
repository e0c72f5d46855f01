// wend-testserver --root DIR [--script FILE] [--lifetime SECONDS] [--answer-post]
// Serves DIR (and what the script sets up) on 127.0.0.1, prints the port on a line of its own and
// runs until SIGTERM or SIGINT, or until the lifetime (default 600 s) is over. With --answer-post
// a POST is answered as a GET of its path would be, as a service that takes what it is sent.
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/testserver/ServerScript.h"
#include "tools/testserver/TestServer.h"

namespace {

struct Options {
  std::string root;
  std::string script;
  long lifetimeSeconds = 600;
  bool answerPost = false;
};

bool parseOptions(int argc, char** argv, Options& out) {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--answer-post") {
      out.answerPost = true;
      continue;
    }
    if (i + 1 == argc) return false;
    const char* value = argv[++i];
    if (name == "--root") {
      out.root = value;
    } else if (name == "--script") {
      out.script = value;
    } else if (name == "--lifetime") {
      out.lifetimeSeconds = std::strtol(value, nullptr, 10);
    } else {
      return false;
    }
  }
  return out.lifetimeSeconds > 0;
}

bool readFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  out = text.str();
  return static_cast<bool>(in);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: wend-testserver --root DIR [--script FILE] [--lifetime SECONDS] "
                 "[--answer-post]\n");
    return 2;
  }
  // Blocked before any thread starts, so only sigtimedwait below receives them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  testserver::TestServerSettings settings;
  settings.root = options.root;
  settings.lifetime = std::chrono::seconds(options.lifetimeSeconds);
  settings.answerPost = options.answerPost;
  testserver::TestServer server(settings);
  std::string script;
  std::string error;
  if (!options.script.empty() &&
      (!readFile(options.script, script) || !testserver::applyScript(script, server, error))) {
    std::fprintf(stderr, "wend-testserver: %s: %s\n", options.script.c_str(),
                 error.empty() ? "cannot read" : error.c_str());
    return 2;
  }
  if (!server.start()) {
    std::fprintf(stderr, "wend-testserver: cannot listen: %s\n", std::strerror(errno));
    return 1;
  }
  std::printf("%u\n", server.port());
  std::fflush(stdout);
  const timespec lifetime{options.lifetimeSeconds, 0};
  sigtimedwait(&stopSignals, nullptr, &lifetime);
  server.stop();
  return 0;
}
