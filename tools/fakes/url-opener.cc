// A stand-in for the URL opener (xdg-open) for tests and the demo: appends each argument it is
// given, one per line, to the file WEND_FAKE_URL_OPENER_LOG, and exits 0.
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  const char* log = std::getenv("WEND_FAKE_URL_OPENER_LOG");
  FILE* file = log ? std::fopen(log, "a") : nullptr;
  if (!file) return 1;
  for (int i = 1; i < argc; ++i) std::fprintf(file, "%s\n", argv[i]);
  return std::fclose(file) == 0 ? 0 : 1;
}
