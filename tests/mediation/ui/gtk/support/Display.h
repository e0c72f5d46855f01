#pragma once

#include <gtk/gtk.h>
#include <stdlib.h>

#include <fstream>
#include <string>

#include "tests/support/PrivateRoot.h"

namespace wendtest {

// The variables that point a process at the display the CTest fixture started; empty when there
// is none. The web engine draws without compositing or DMA buffers, which Xvfb does not have.
inline EnvironmentChanges fixtureDisplayEnvironment() {
  std::string display;
  std::ifstream(WEND_DISPLAY_FILE) >> display;
  if (display.empty()) return {};
  return {{"DISPLAY", ":" + display},
          {"WEBKIT_DISABLE_COMPOSITING_MODE", "1"},
          {"WEBKIT_DISABLE_DMABUF_RENDERER", "1"},
          {"NO_AT_BRIDGE", "1"}};
}

// Points the toolkit at the fixture's display and opens it; false when there is none.
inline bool openFixtureDisplay() {
  const EnvironmentChanges display = fixtureDisplayEnvironment();
  if (display.empty()) return false;
  for (const auto& [name, value] : display) setenv(name.c_str(), value->c_str(), 1);
  return gtk_init_check(nullptr, nullptr);
}

}  // namespace wendtest
