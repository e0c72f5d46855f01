#include "mediation/ui/CairoDockProgress.h"

#include <algorithm>
#include <cmath>

namespace mediation {
namespace {

int extent(cairo_surface_t* surface, bool wantWidth) {
  if (cairo_surface_get_type(surface) == CAIRO_SURFACE_TYPE_IMAGE) {
    return wantWidth ? cairo_image_surface_get_width(surface)
                     : cairo_image_surface_get_height(surface);
  }
  double x0, y0, x1, y1;
  cairo_t* cr = cairo_create(surface);
  cairo_clip_extents(cr, &x0, &y0, &x1, &y1);
  cairo_destroy(cr);
  return static_cast<int>(wantWidth ? x1 - x0 : y1 - y0);
}

}  // namespace

DockImage dockImageOf(cairo_surface_t* surface) {
  return DockImage(cairo_surface_reference(surface), cairo_surface_destroy);
}

CairoDockProgress::CairoDockProgress(DockImage icon, uint64_t maximum, Sink sink)
    : icon_(std::move(icon)),
      width_(extent(icon_.get(), true)),
      height_(extent(icon_.get(), false)),
      maximum_(maximum),
      sink_(std::move(sink)) {
  std::lock_guard lock(mutex_);
  if (sink_) sink_(draw(0));
}

void CairoDockProgress::update(uint64_t value) {
  std::lock_guard lock(mutex_);
  if (sink_) sink_(draw(value));
}

DockImage CairoDockProgress::draw(uint64_t value) const {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width_, height_);
  cairo_t* cr = cairo_create(surface);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(cr, icon_.get(), 0, 0);
  cairo_paint(cr);
  if (value != 0) {
    // A value past the maximum fills the bar rather than drawing outside it.
    double share = maximum_ == 0
                       ? 0.0
                       : std::min(1.0, static_cast<double>(value) / static_cast<double>(maximum_));
    double filled = std::floor(share * width_);
    double top = height_ - std::min(kBarHeight, height_);
    cairo_set_source_rgb(cr, 0.0, 1.0, 0.0);
    cairo_rectangle(cr, 0, top, filled, height_ - top);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_rectangle(cr, filled, top, width_ - filled, height_ - top);
    cairo_fill(cr);
  }
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  return DockImage(surface, cairo_surface_destroy);
}

}  // namespace mediation
