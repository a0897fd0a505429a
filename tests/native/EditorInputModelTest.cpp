// The editor's input rules: zone order and bounds, the click tolerance at its edges and with the
// no-press sentinels, the fold cycle, and the drag's span and margin with their clamps.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "editor/EditorInputModel.h"

namespace tempotally {
namespace {

TEST(EditorInputModel, ZonesInTableOrderWithInclusiveBounds) {
  const struct {
    EditorPoint point;
    EditorZone zone;
    bool graph;
  } cases[] = {
      {{9, 12}, EditorZone::Fold, false},         {{250, 58}, EditorZone::Fold, false},
      {{8, 30}, EditorZone::None, false},         {{100, 59}, EditorZone::None, false},
      {{10, 64}, EditorZone::Freeze, false},      {{50, 76}, EditorZone::Freeze, false},
      {{51, 70}, EditorZone::None, false},        {{57, 70}, EditorZone::None, false},
      {{55, 70}, EditorZone::None, false},        {{58, 70}, EditorZone::LookAhead, false},
      {{113, 64}, EditorZone::LookAhead, false},  {{127, 70}, EditorZone::None, false},
      {{141, 70}, EditorZone::Optimise, false},   {{176, 76}, EditorZone::Optimise, false},
      {{182, 70}, EditorZone::None, false},       {{193, 70}, EditorZone::Selection, false},
      {{230, 77}, EditorZone::None, false},       {{10, 80}, EditorZone::ShowVideo, false},
      {{100, 92}, EditorZone::ShowVideo, true},   {{101, 85}, EditorZone::None, false},
      {{103, 90}, EditorZone::VideoOnTop, true},  {{173, 92}, EditorZone::VideoOnTop, true},
      {{174, 91}, EditorZone::None, true},        {{7, 175}, EditorZone::None, true},
      {{232, 90}, EditorZone::None, true},        {{233, 120}, EditorZone::None, false},
      {{100, 176}, EditorZone::None, false},      {{-5, -5}, EditorZone::None, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.point.x << "," << c.point.y);
    EXPECT_EQ(ClickZoneAt(c.point), c.zone);
    EXPECT_EQ(InGraphZone(c.point), c.graph);
  }
}

TEST(EditorInputModel, ClickToleranceAndSentinels) {
  const struct {
    EditorPoint press, last;
    bool click;
  } cases[] = {
      {{20, 70}, {25, 70}, true},   {{20, 70}, {26, 70}, false}, {{20, 70}, {15, 65}, true},
      {{20, 70}, {20, 64}, false},  {{20, 70}, {14, 70}, false}, {{20, 70}, {25, 75}, true},
      // No press yet: never a click, and no overflow at the ends of the range.
      {NoPressPosition, {-32768, -32768}, false},
      {NoPressPosition, NoMousePosition, false},
      {NoPressPosition, NoPressPosition, true},
      {{INT32_MAX, INT32_MIN}, {INT32_MIN, INT32_MAX}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsClick(c.press, c.last), c.click)
        << c.press.x << "," << c.press.y << " -> " << c.last.x << "," << c.last.y;
  }
  // The starting pair itself is never a click.
  EXPECT_FALSE(IsClick(NoPressPosition, NoMousePosition));
}

TEST(EditorInputModel, FoldCycle) {
  EXPECT_EQ(NextFoldLevel(0), 1);
  EXPECT_EQ(NextFoldLevel(1), 2);
  EXPECT_EQ(NextFoldLevel(2), 0);
  EXPECT_EQ(NextFoldLevel(255), 0);
}

uint32_t Bits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

TEST(EditorInputModel, DragTravelGivesSpanAndMargin) {
  // Four-pixel steps, as the clip box allows.
  const struct {
    int steps, dx, dy;
    bool fine;
    int32_t startSpan;
    int32_t span;
  } cases[] = {
      {25, 4, 0, false, 1536, 1636},  {25, 4, 0, true, 1536, 1547},
      {25, -4, 0, false, 1536, 1436}, {1, 1, 0, false, 1536, 1537},
      {1, 1, 0, true, 1536, 1536},    {500, -4, 0, false, 1536, 0},
      {1, -1, 0, false, 1, 0},        {1, 1, 0, false, 0, 1},
      {2000, 4, 0, false, 1536, 6144},
  };
  for (const auto& c : cases) {
    float x = 0.0f, y = 0.0f;
    for (int i = 0; i < c.steps; ++i) AddDragDelta(x, y, c.dx, c.dy, c.fine);
    EXPECT_EQ(DraggedSpan(c.startSpan, x), c.span) << c.steps << " x " << c.dx;
  }

  float x = 0.0f, y = 0.0f;
  for (int i = 0; i < 7; ++i) AddDragDelta(x, y, 0, -4, false);  // 28 pixels up
  EXPECT_FLOAT_EQ(y, 14.0f);
  EXPECT_EQ(DraggedMargin(0.01f, y), 0.01f - 14.0f / 14000.0f);
  EXPECT_EQ(Bits(DraggedMargin(0.01f, 1e6f)), 0x3A83126Fu);
  EXPECT_EQ(Bits(DraggedMargin(0.01f, -1e6f)), 0x3DCCCCCDu);
  // Travel far beyond any int: still defined, still clamped.
  EXPECT_EQ(DraggedSpan(1536, 3e38f), MaxGraphSpan);
  EXPECT_EQ(DraggedSpan(1536, -3e38f), 0);
  EXPECT_EQ(DraggedSpan(INT32_MAX, 1e9f), MaxGraphSpan);
}

}  // namespace
}  // namespace tempotally
