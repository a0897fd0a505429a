// The editor's input rules without the platform.
#include "editor/EditorInputModel.h"

#include <cmath>

#include "editor/Toggles.h"
#include "timeline/TimelineEngine.h"

namespace tempotally {

EditorPoint MessagePoint(uint32_t lParam) {
  return {static_cast<int16_t>(lParam & 0xFFFF), static_cast<int16_t>(lParam >> 16)};
}

bool InZone(const ZoneBounds& bounds, EditorPoint point) {
  return point.x >= bounds.left && point.x <= bounds.right && point.y >= bounds.top &&
         point.y <= bounds.bottom;
}

EditorZone ClickZoneAt(EditorPoint point) {
  if (InZone(FoldZone, point)) return FoldZone.zone;
  for (const ToggleRow& row : Toggles) {
    if (InZone(row.zone, point)) return row.zone.zone;
  }
  return EditorZone::None;
}

bool InGraphZone(EditorPoint point) { return InZone(GraphZone, point); }

bool IsClick(EditorPoint press, EditorPoint last) {
  // Widened, so that the sentinels' distance to any position cannot overflow.
  const int64_t dx = static_cast<int64_t>(last.x) - press.x;
  const int64_t dy = static_cast<int64_t>(last.y) - press.y;
  return dx >= -ClickTolerance && dx <= ClickTolerance && dy >= -ClickTolerance &&
         dy <= ClickTolerance;
}

uint8_t NextFoldLevel(uint8_t level) {
  return level >= DeepestFoldLevel ? 0 : static_cast<uint8_t>(level + 1);
}

void AddDragDelta(float& travelX, float& travelY, int32_t dx, int32_t dy, bool fine) {
  const float divisor = fine ? DragDivisorFine : DragDivisor;
  travelX += static_cast<float>(dx) / divisor;
  travelY -= static_cast<float>(dy) / divisor;
}

AbsolutePoint ParkingPoint(EditorPoint home, const DesktopRect& desk) {
  // Measured from the desktop's origin, so negative screen positions scale like any other.
  const double x = static_cast<double>(home.x) - desk.left;
  const double y = static_cast<double>(home.y) - desk.top;
  return {static_cast<int32_t>(AbsoluteScale / desk.width * x),
          static_cast<int32_t>(AbsoluteScale / desk.height * y)};
}

int32_t DraggedSpan(int32_t startSpan, float travelX) {
  // In double and clamped before converting: any travel, however long, stays defined.
  const double span = startSpan + std::trunc(2.0 * static_cast<double>(travelX));
  if (!(span >= 1.0)) return 0;
  if (span > MaxGraphSpan) return MaxGraphSpan;
  return static_cast<int32_t>(span);
}

float DraggedMargin(float startMargin, float travelY) {
  float margin = startMargin - travelY / MarginPerAccum;
  if (margin < MinGraphMargin) margin = MinGraphMargin;
  if (margin > MaxGraphMargin) margin = MaxGraphMargin;
  return margin;
}

}  // namespace tempotally
