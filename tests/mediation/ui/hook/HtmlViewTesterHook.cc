// A test hook that writes each call it gets, one line each, to the file WEND_TEST_HOOK_LOG names.
#include <cstdio>
#include <cstdlib>

#include "mediation/ui/HtmlViewTester.h"

namespace {

// One line: the call, its text and the pointer it was given.
void record(const char* call, const char* text, const void* pointer) {
  const char* path = std::getenv("WEND_TEST_HOOK_LOG");
  if (!path) return;
  if (FILE* file = std::fopen(path, "a")) {
    std::fprintf(file, "%s%s %p\n", call, text, pointer);
    std::fclose(file);
  }
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void initializeTester(int argc, char** argv) {
  record("initialize ", argc > 1 ? argv[1] : "-", nullptr);
}

__attribute__((visibility("default"))) void registerHTMLView(const char* name,
                                                             mediation::HtmlView* view) {
  record("register ", name, view);
}

__attribute__((visibility("default"))) void finalizeTester() {
  record("finalize", "", nullptr);
}
}
