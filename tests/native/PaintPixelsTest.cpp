// The pixel writer against the paint model: every pixel of the surface after the bars and the
// marker, at the graph's edges and beyond the surface, and the area it reports for the next
// paint to restore.
#include <gtest/gtest.h>

#include <vector>

#include "editor/PaintModel.h"

namespace tempotally::testing {
namespace {

constexpr uint32_t Background = 0x313B37;

struct Bar {
  int column;
  int height;
  BarBrush brush;
};

struct Surface {
  Surface(int width, int height)
      : pixels(static_cast<size_t>(width) * height, Background),
        view{pixels.data(), width, height} {}
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * view.width + x]; }
  std::vector<uint32_t> pixels;
  PixelView view;
};

// What GDI leaves for the model: each bar one pixel column at x 8 + i from y 195 - h to 193, the
// marker one column at markerX from y 110 to 193, over the bars.
uint32_t Expected(const PaintModel& model, int x, int y) {
  if (model.markerShown && x == model.markerX && y >= MarkerTop && y <= GraphBaseline - 2) {
    return MarkerGray;
  }
  const int i = x - GraphLeft;
  if (i < 0 || i >= GraphColumns || !model.columns[i].drawn) return Background;
  const GraphColumn& column = model.columns[i];
  if (y < GraphBaseline - column.height || y > GraphBaseline - 2) return Background;
  return column.brush == BarBrush::White ? BarWhite : BarLightGray;
}

TEST(PaintPixels, BarsAndMarkerFillWhatGdiFillsAndNothingElse) {
  const struct {
    const char* name;
    std::vector<Bar> bars;
    bool marker;
    int markerX;
    int surfaceHeight;
    PixelRect written;
  } cases[] = {
      {"the first and last columns at full height",
       {{0, GraphMaxBar, BarBrush::White}, {223, GraphMaxBar, BarBrush::LightGray}},
       false,
       0,
       294,
       {8, 111, 232, 194}},
      {"heights 0 and 1 fill nothing, 2 one pixel",
       {{0, 0, BarBrush::White}, {223, 1, BarBrush::White}, {100, 2, BarBrush::LightGray}},
       false,
       0,
       294,
       {108, 193, 109, 194}},
      {"the marker at p = lo, over the first bar",
       {{0, 40, BarBrush::White}},
       true,
       GraphLeft,
       294,
       {8, 110, 9, 194}},
      {"the marker at p = hi, right of the last column",
       {},
       true,
       GraphLeft + GraphColumns,
       294,
       {232, 110, 233, 194}},
      {"a marker outside the surface writes nothing",
       {{5, 30, BarBrush::White}},
       true,
       240,
       294,
       {13, 165, 14, 194}},
      {"a surface shorter than the graph clips every column",
       {{0, GraphMaxBar, BarBrush::White}},
       true,
       20,
       150,
       {8, 110, 21, 150}},
      {"a bar far above the scale stops at the top row",
       {{50, 8400, BarBrush::LightGray}},
       false,
       0,
       294,
       {58, 0, 59, 194}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PaintModel model;
    model.graphShown = true;
    for (const Bar& bar : c.bars) {
      model.columns[bar.column] = {true, 1000 + bar.column, bar.height, bar.brush};
    }
    model.markerShown = c.marker;
    model.markerX = c.markerX;
    model.markerRight = c.markerX + 2;
    Surface surface(240, c.surfaceHeight);
    const PixelRect written = WriteGraph(model, surface.view);
    EXPECT_EQ(written.left, c.written.left);
    EXPECT_EQ(written.top, c.written.top);
    EXPECT_EQ(written.right, c.written.right);
    EXPECT_EQ(written.bottom, c.written.bottom);
    for (int y = 0; y < c.surfaceHeight; ++y) {
      for (int x = 0; x < 240; ++x) {
        ASSERT_EQ(surface.At(x, y), Expected(model, x, y)) << x << "," << y;
      }
    }
  }
}

TEST(PaintPixels, NullPenRectangleTakesCornersInEitherOrderAndClips) {
  const struct {
    int x1, y1, x2, y2;
    PixelRect filled;
  } cases[] = {
      {2, 3, 6, 8, {2, 3, 5, 7}},
      {6, 8, 2, 3, {2, 3, 5, 7}},
      {4, 4, 5, 9, {}},  // one pixel wide: nothing
      {-5, -5, 3, 3, {0, 0, 2, 2}},
      {8, 8, 2147483647, 2147483647, {8, 8, 10, 10}},
      {-2147483647 - 1, 0, 3, 1, {}},
  };
  for (const auto& c : cases) {
    Surface surface(10, 10);
    const PixelRect filled = FillNullPenRectangle(surface.view, c.x1, c.y1, c.x2, c.y2, BarWhite);
    int count = 0;
    for (uint32_t pixel : surface.pixels) count += pixel == BarWhite;
    const int area =
        c.filled.Empty() ? 0 : (c.filled.right - c.filled.left) * (c.filled.bottom - c.filled.top);
    EXPECT_EQ(count, area) << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2;
    EXPECT_EQ(filled.Empty(), c.filled.Empty());
    if (!c.filled.Empty()) {
      EXPECT_TRUE(filled.left == c.filled.left && filled.top == c.filled.top &&
                  filled.right == c.filled.right && filled.bottom == c.filled.bottom);
      EXPECT_EQ(surface.At(c.filled.left, c.filled.top), BarWhite);
      EXPECT_EQ(surface.At(c.filled.right - 1, c.filled.bottom - 1), BarWhite);
    }
  }
}

}  // namespace
}  // namespace tempotally::testing
