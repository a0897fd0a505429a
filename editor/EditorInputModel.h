// The editor's input rules without the platform: where the click zones lie, what counts as a click,
// the fold cycle, and how the zoom drag's travel becomes a graph span and margin.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "editor/EditorLayout.h"

namespace tempotally {

// Before the first press: so far from any message position that no release is a click against it.
constexpr EditorPoint NoPressPosition = {INT32_MIN, INT32_MIN};
constexpr EditorPoint NoMousePosition = {INT32_MAX, INT32_MAX};
// dragAnchor while no drag runs. Only a marker: on a monitor left of or above the primary one it
// is a real cursor position, so whether a drag runs is kept apart from it.
constexpr EditorPoint NoDragAnchor = {-1, -1};

// A release is a click when the position recorded before it lies this close to the press.
constexpr int32_t ClickTolerance = 5;

// Travel per pixel: divided by this much, finer with Ctrl.
constexpr float DragDivisor = 2.0f;
constexpr float DragDivisorFine = 18.0f;
constexpr int32_t MaxGraphSpan = 6144;
constexpr float MarginPerAccum = 14000.0f;
constexpr float MinGraphMargin = 0.001f;
constexpr float MaxGraphMargin = 0.1f;

// Injected absolute moves are scaled to this rather than the full 65535, which lands the cursor
// up to a pixel short of the target; the drag measures its anchor after parking for that reason.
constexpr double AbsoluteScale = 65534.0;

// The virtual desktop, all monitors together, in screen pixels; its origin is negative when a
// monitor lies left of or above the primary one.
struct DesktopRect {
  int32_t left, top, width, height;
};
// Absolute input coordinates, 0 .. 65535 across the virtual desktop.
struct AbsolutePoint {
  int32_t x, y;
};
// Where an absolute move on the virtual desktop must aim to land the cursor within a pixel of
// `home`. The desktop must be at least a pixel wide and high.
inline AbsolutePoint ParkingPoint(EditorPoint home, const DesktopRect& desk) {
  // Measured from the desktop's origin, so negative screen positions scale like any other.
  const double x = static_cast<double>(home.x) - desk.left;
  const double y = static_cast<double>(home.y) - desk.top;
  return {static_cast<int32_t>(AbsoluteScale / desk.width * x),
          static_cast<int32_t>(AbsoluteScale / desk.height * y)};
}

// A mouse message's client position: the two signed 16-bit halves of its 32-bit lParam, x low.
inline EditorPoint MessagePoint(uint32_t lParam) {
  return {static_cast<int16_t>(lParam & 0xFFFF), static_cast<int16_t>(lParam >> 16)};
}

inline bool InZone(const PanelBounds& zone, EditorPoint point) {
  return point.x >= zone.left && point.x <= zone.right && point.y >= zone.top &&
         point.y <= zone.bottom;
}
inline EditorZone ClickZoneAt(EditorPoint point) {
  if (InZone(FoldZone, point)) return EditorZone::Fold;
  for (int i = 0; i < ToggleCount; ++i) {
    if (InZone(Toggles[i].zone, point)) return ZoneOf(static_cast<Toggle>(i));
  }
  return EditorZone::None;
}

// Whether `last` lies within ClickTolerance of `press` on both axes; exact for any two points.
inline bool IsClick(EditorPoint press, EditorPoint last) {
  // Widened, so that the sentinels' distance to any position cannot overflow.
  const int64_t dx = static_cast<int64_t>(last.x) - press.x;
  const int64_t dy = static_cast<int64_t>(last.y) - press.y;
  return std::max(std::abs(dx), std::abs(dy)) <= ClickTolerance;
}

// 0 -> 1 -> .. -> DeepestFoldLevel -> 0; anything deeper also comes back to 0.
inline uint8_t NextFoldLevel(uint8_t level) {
  return level >= DeepestFoldLevel ? 0 : static_cast<uint8_t>(level + 1);
}

// Adds one cursor delta (screen pixels, y downward) to the drag's travel, which is rightward and
// upward positive and scaled down by the divisor.
inline void AddDragDelta(float& travelX, float& travelY, int32_t dx, int32_t dy, bool fine) {
  const float divisor = fine ? DragDivisorFine : DragDivisor;
  travelX += static_cast<float>(dx) / divisor;
  travelY -= static_cast<float>(dy) / divisor;
}

// Span in ticks: the start plus twice the horizontal travel, truncated; below 1 is 0, at most 6144.
inline int32_t DraggedSpan(int32_t startSpan, float travelX) {
  // In double and clamped before converting: any travel, however long, stays defined.
  const double span = startSpan + std::trunc(2.0 * static_cast<double>(travelX));
  if (!(span >= 1.0)) return 0;
  return span > MaxGraphSpan ? MaxGraphSpan : static_cast<int32_t>(span);
}

// Margin in seconds per tick: lowered by upward travel, held within 0.001 .. 0.1.
inline float DraggedMargin(float startMargin, float travelY) {
  return std::clamp(startMargin - travelY / MarginPerAccum, MinGraphMargin, MaxGraphMargin);
}

}  // namespace tempotally
