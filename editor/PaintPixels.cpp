// The graph's bars and marker and the skin's pieces written straight into the editor's back
// buffer: GDI's null-pen rectangles, one call each, cost far more than the few pixels they fill.
#include "editor/PaintPixels.h"

#include <algorithm>
#include <cstring>

namespace tempotally {

namespace {

PixelRect Clipped(PixelRect area, int width, int height) {
  area.left = std::max(area.left, 0);
  area.top = std::max(area.top, 0);
  area.right = std::min(area.right, width);
  area.bottom = std::min(area.bottom, height);
  return area;
}

}  // namespace

PixelRect Union(const PixelRect& a, const PixelRect& b) {
  if (a.Empty()) return b;
  if (b.Empty()) return a;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

bool Intersects(const PixelRect& a, const PixelRect& b) {
  return !a.Empty() && !b.Empty() && a.left < b.right && b.left < a.right && a.top < b.bottom &&
         b.top < a.bottom;
}

void CopyArea(const PixelView& from, const PixelView& to, PixelRect area) {
  area = Clipped(area, std::min(from.width, to.width), std::min(from.height, to.height));
  if (area.Empty()) return;
  const size_t bytes = static_cast<size_t>(area.right - area.left) * sizeof(uint32_t);
  for (int y = area.top; y < area.bottom; ++y) {
    std::memcpy(to.pixels + static_cast<size_t>(y) * to.width + area.left,
                from.pixels + static_cast<size_t>(y) * from.width + area.left, bytes);
  }
}

void CopyBlock(const PixelView& from, int sourceX, int sourceY, const PixelView& to, int targetX,
               int targetY, int width, int height) {
  for (int dy = 0; dy < height; ++dy) {
    const int sy = sourceY + dy, ty = targetY + dy;
    if (sy < 0 || sy >= from.height || ty < 0 || ty >= to.height) continue;
    for (int dx = 0; dx < width; ++dx) {
      const int sx = sourceX + dx, tx = targetX + dx;
      if (sx < 0 || sx >= from.width || tx < 0 || tx >= to.width) continue;
      to.pixels[static_cast<size_t>(ty) * to.width + tx] =
          from.pixels[static_cast<size_t>(sy) * from.width + sx];
    }
  }
}

PixelRect FillNullPenRectangle(const PixelView& to, int x1, int y1, int x2, int y2,
                               uint32_t colour) {
  // In 64 bits: a corner at the int range's edge must not wrap when the pixel is taken off.
  const int64_t left = std::min(x1, x2), right = int64_t{std::max(x1, x2)} - 1;
  const int64_t top = std::min(y1, y2), bottom = int64_t{std::max(y1, y2)} - 1;
  PixelRect area{static_cast<int>(std::clamp<int64_t>(left, 0, to.width)),
                 static_cast<int>(std::clamp<int64_t>(top, 0, to.height)),
                 static_cast<int>(std::clamp<int64_t>(right, 0, to.width)),
                 static_cast<int>(std::clamp<int64_t>(bottom, 0, to.height))};
  if (area.Empty()) return PixelRect{};
  for (int y = area.top; y < area.bottom; ++y) {
    std::fill_n(to.pixels + static_cast<size_t>(y) * to.width + area.left, area.right - area.left,
                colour);
  }
  return area;
}

PixelRect WriteGraph(const PaintModel& model, const PixelView& to) {
  PixelRect written;
  for (int i = 0; i < GraphColumns; ++i) {
    const GraphColumn& column = model.columns[i];
    if (!column.drawn) continue;
    const uint32_t colour = column.brush == BarBrush::White ? BarWhite : BarLightGray;
    written =
        Union(written, FillNullPenRectangle(to, GraphLeft + i, GraphBaseline, GraphLeft + i + 2,
                                            GraphBaseline - column.height, colour));
  }
  if (model.markerShown) {
    written = Union(written, FillNullPenRectangle(to, model.markerX, GraphBaseline,
                                                  model.markerRight, MarkerTop, MarkerGray));
  }
  return written;
}

}  // namespace tempotally
