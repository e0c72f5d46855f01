#pragma once

#include <glib.h>

#include <chrono>

namespace wendtest {

// Runs the default GLib main context until `done` holds or 30 s have passed, waking at least
// every 20 ms so a condition set off the loop is seen; returns its last value.
template <typename Predicate>
bool runLoopUntil(Predicate done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  const guint tick = g_timeout_add(
      20, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    g_main_context_iteration(nullptr, TRUE);
  }
  g_source_remove(tick);
  return done();
}

}  // namespace wendtest
