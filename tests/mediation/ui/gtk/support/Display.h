#pragma once

#include <gtk/gtk.h>
#include <stdlib.h>

#include <fstream>
#include <string>

namespace wendtest {

// Points the toolkit at the display the CTest fixture started and opens it; false when there is
// none. The web engine draws without compositing or DMA buffers, which Xvfb does not have.
inline bool openFixtureDisplay() {
  std::string display;
  std::ifstream(WEND_DISPLAY_FILE) >> display;
  if (display.empty()) return false;
  setenv("DISPLAY", (":" + display).c_str(), 1);
  setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 1);
  setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 1);
  setenv("NO_AT_BRIDGE", "1", 1);
  return gtk_init_check(nullptr, nullptr);
}

}  // namespace wendtest
