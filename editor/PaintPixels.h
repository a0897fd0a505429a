// The editor's pixels written without GDI: a client-sized 32-bit surface, the skin's pieces
// copied into it, and the tempo graph's bars and marker filled exactly as GDI's null-pen
// rectangles fill them. Platform-free, so the native tests check every pixel it writes.
#pragma once

#include <cstdint>

#include "editor/PaintModel.h"

namespace tempotally {

// Pixels as 0x00RRGGBB, top row first, `width` pixels a row.
struct PixelView {
  uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
};

// Half-open: x from left to right - 1, y from top to bottom - 1. Empty when either side is.
struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool Empty() const { return left >= right || top >= bottom; }
};

constexpr uint32_t BarWhite = 0xFFFFFF;      // stock WHITE_BRUSH
constexpr uint32_t BarLightGray = 0xC0C0C0;  // stock LTGRAY_BRUSH
constexpr uint32_t MarkerGray = 0x404040;    // stock DKGRAY_BRUSH

// The smallest rectangle holding both.
PixelRect Union(const PixelRect& a, const PixelRect& b);
bool Intersects(const PixelRect& a, const PixelRect& b);

// Copies `area` of `from` to the same place in `to`; both the same size. Clipped to the surface.
void CopyArea(const PixelView& from, const PixelView& to, PixelRect area);
// Copies the `width` x `height` block at (sourceX, sourceY) of `from` to (targetX, targetY) of
// `to`, clipped to both.
void CopyBlock(const PixelView& from, int sourceX, int sourceY, const PixelView& to, int targetX,
               int targetY, int width, int height);

// What GDI's Rectangle fills with the null pen from these corners (in either order): one pixel
// less in width and height. Clipped to the surface; returns the area it filled.
PixelRect FillNullPenRectangle(const PixelView& to, int x1, int y1, int x2, int y2,
                               uint32_t colour);

// The graph's bars, then the marker, of a model whose graph is shown; returns the area written,
// which the next paint restores from the background before it writes its own.
PixelRect WriteGraph(const PaintModel& model, const PixelView& to);

}  // namespace tempotally
