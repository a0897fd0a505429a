// The editor's input rules without the platform: where the click zones lie, what counts as a click,
// the fold cycle, and how the zoom drag's travel becomes a graph span and margin.
#pragma once

#include <cstdint>

#include "editor/EditorLayout.h"

namespace tempotally {

// Before the first press in the editor: so far from any message position (two 16-bit halves) that
// no release is ever judged a click against it.
constexpr EditorPoint NoPressPosition = {INT32_MIN, INT32_MIN};
constexpr EditorPoint NoMousePosition = {INT32_MAX, INT32_MAX};
// dragAnchor while no drag is in progress. Only a marker: on a monitor left of or above the
// primary one it is a real cursor position, so whether a drag runs is kept apart from it.
constexpr EditorPoint NoDragAnchor = {-1, -1};
constexpr int32_t DragKindNone = -1;
constexpr int32_t DragKindZoom = 0;

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
AbsolutePoint ParkingPoint(EditorPoint home, const DesktopRect& desk);

// A mouse message's client position: the two signed 16-bit halves of its 32-bit lParam, x low.
EditorPoint MessagePoint(uint32_t lParam);

bool InZone(const ZoneBounds& bounds, EditorPoint point);
// The fold or toggle zone at `point`, or None.
EditorZone ClickZoneAt(EditorPoint point);
bool InGraphZone(EditorPoint point);
// Whether `last` lies within ClickTolerance of `press` on both axes; exact for any two points.
bool IsClick(EditorPoint press, EditorPoint last);
// 0 -> 1 -> .. -> DeepestFoldLevel -> 0; anything deeper also comes back to 0.
uint8_t NextFoldLevel(uint8_t level);

// Adds one cursor delta (screen pixels, y downward) to the drag's travel, which is rightward and
// upward positive and scaled down by the divisor.
void AddDragDelta(float& travelX, float& travelY, int32_t dx, int32_t dy, bool fine);
// Span in ticks: the start plus twice the horizontal travel, truncated; below 1 is 0, at most 6144.
int32_t DraggedSpan(int32_t startSpan, float travelX);
// Margin in seconds per tick: lowered by upward travel, held within 0.001 .. 0.1.
float DraggedMargin(float startMargin, float travelY);

}  // namespace tempotally
