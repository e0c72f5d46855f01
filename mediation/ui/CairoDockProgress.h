#pragma once

#include <cairo.h>

#include <functional>
#include <memory>
#include <mutex>

#include "mediation/ui/IDockProgress.h"

// Draws the application's icon with a 10-pixel bar along its bottom edge: the done part green, the
// rest black, no bar at all at 0. Every drawing is a new image handed to the sink (the shell sets
// it as the window icon, on its own thread: the image is the sink's to keep).
//
// Thread rules: update may be called from any thread; drawings and sink calls are serialised, and
// the sink runs on the calling thread. The sink is called once at construction with the plain icon.
namespace mediation {

using DockImage = std::shared_ptr<cairo_surface_t>;

// Takes a reference of a cairo surface.
DockImage dockImageOf(cairo_surface_t* surface);

class CairoDockProgress final : public IDockProgress {
 public:
  using Sink = std::function<void(DockImage)>;
  static constexpr int kBarHeight = 10;

  // `icon` is any cairo surface; its size is the size of every drawing. A maximum of 0 never fills
  // the bar.
  CairoDockProgress(DockImage icon, uint64_t maximum, Sink sink);

  void update(uint64_t value) override;

 private:
  DockImage draw(uint64_t value) const;

  const DockImage icon_;
  const int width_;
  const int height_;
  const uint64_t maximum_;
  const Sink sink_;
  std::mutex mutex_;  // one drawing and sink call at a time
};

}  // namespace mediation
