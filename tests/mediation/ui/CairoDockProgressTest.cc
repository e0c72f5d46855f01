#include <gtest/gtest.h>

#include <vector>

#include "mediation/ui/CairoDockProgress.h"

namespace mediation {
namespace {

constexpr uint32_t kGreen = 0xFF00FF00, kBlack = 0xFF000000;

uint32_t pixel(cairo_surface_t* surface, int x, int y) {
  auto* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
  return reinterpret_cast<uint32_t*>(row)[x];
}

// An icon whose every pixel differs, so a misplaced bar or a shifted copy shows.
DockImage patternedIcon(int width, int height) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_surface_flush(surface);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      auto* row =
          cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
      reinterpret_cast<uint32_t*>(row)[x] = 0xFF000000u | (x << 16) | (y << 8) | 0x40;
    }
  }
  cairo_surface_mark_dirty(surface);
  return DockImage(surface, cairo_surface_destroy);
}

class CairoDockProgressTest : public testing::Test {
 protected:
  // What each pixel of the last drawing is, row by row, against the icon: 'i' the icon's pixel,
  // 'g' green, 'b' black, '?' anything else.
  std::vector<std::string> picture() const {
    cairo_surface_t* drawn = images_.back().get();
    std::vector<std::string> rows;
    for (int y = 0; y < cairo_image_surface_get_height(drawn); ++y) {
      std::string row;
      for (int x = 0; x < cairo_image_surface_get_width(drawn); ++x) {
        uint32_t p = pixel(drawn, x, y);
        row += p == pixel(icon_.get(), x, y) ? 'i' : p == kGreen ? 'g' : p == kBlack ? 'b' : '?';
      }
      rows.push_back(row);
    }
    return rows;
  }

  DockImage icon_ = patternedIcon(64, 48);
  std::vector<DockImage> images_;
  CairoDockProgress dock_{icon_, 100, [this](DockImage image) { images_.push_back(image); }};
};

TEST_F(CairoDockProgressTest, BarFillsTheBottomRowsByShare) {
  struct Row {
    uint64_t value;
    std::string bar;
  } rows[] = {
      {50, std::string(32, 'g') + std::string(32, 'b')},
      {1, std::string(64, 'b')},  // floor(0.64)
      {99, std::string(63, 'g') + "b"},
      {100, std::string(64, 'g')},
      {250, std::string(64, 'g')},
  };
  for (const Row& row : rows) {
    dock_.update(row.value);
    std::vector<std::string> rowsDrawn = picture();
    for (int y = 0; y < 48; ++y) {
      EXPECT_EQ(rowsDrawn[y], y < 38 ? std::string(64, 'i') : row.bar)
          << "value " << row.value << ", row " << y;
    }
  }
}

TEST_F(CairoDockProgressTest, ZeroShowsThePlainIcon) {
  ASSERT_EQ(images_.size(), 1u);  // drawn at construction
  dock_.update(70);
  dock_.update(0);
  ASSERT_EQ(images_.size(), 3u);
  for (const std::string& row : picture()) EXPECT_EQ(row, std::string(64, 'i'));
  EXPECT_NE(images_[1].get(), images_[2].get());  // each drawing is the sink's to keep
}

TEST(CairoDockProgress, NoMaximumNeverFills) {
  std::vector<DockImage> images;
  CairoDockProgress dock(patternedIcon(20, 6), 0,
                         [&](DockImage image) { images.push_back(image); });
  dock.update(5);
  // The icon is shorter than the bar: the whole of it is the bar.
  for (int y = 0; y < 6; ++y) EXPECT_EQ(pixel(images.back().get(), 19, y), kBlack);
}

}  // namespace
}  // namespace mediation
