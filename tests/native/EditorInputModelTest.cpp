// The editor's input rules at their edges: the zones where they touch, overlap or leave out an LED,
// the click test against the no-press sentinels, and drag travel far beyond any int.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "editor/EditorInputModel.h"

namespace tempotally {
namespace {

TEST(EditorInputModel, ZoneEdgesLedsAndOverlap) {
  const struct {
    EditorPoint point;
    EditorZone zone;
    bool graph;
  } cases[] = {
      {{9, 12}, EditorZone::Fold, false},           {{250, 58}, EditorZone::Fold, false},
      {{8, 30}, EditorZone::None, false},           {{50, 76}, ZoneOf(Toggle::Freeze), false},
      {{57, 70}, EditorZone::None, false},          {{58, 70}, ZoneOf(Toggle::LookAhead), false},
      {{127, 70}, EditorZone::None, false},         {{141, 64}, ZoneOf(Toggle::Optimise), false},
      {{182, 70}, EditorZone::None, false},         {{230, 76}, ZoneOf(Toggle::Selection), false},
      {{100, 92}, ZoneOf(Toggle::ShowVideo), true}, {{173, 90}, ZoneOf(Toggle::VideoOnTop), true},
      {{174, 91}, EditorZone::None, true},          {{232, 175}, EditorZone::None, true},
      {{6, 120}, EditorZone::None, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ClickZoneAt(c.point), c.zone) << c.point.x << "," << c.point.y;
    EXPECT_EQ(InZone(GraphZone, c.point), c.graph) << c.point.x << "," << c.point.y;
  }
}

TEST(EditorInputModel, MessagePointsAreSigned16BitHalves) {
  const EditorPoint left = MessagePoint(0xFFFEFFFFu);
  EXPECT_EQ(left.x, -1);
  EXPECT_EQ(left.y, -2);
  const EditorPoint edge = MessagePoint(0x7FFF8000u);
  EXPECT_EQ(edge.x, -32768);
  EXPECT_EQ(edge.y, 32767);
}

TEST(EditorInputModel, ClickTestNeverOverflows) {
  EXPECT_TRUE(IsClick({20, 70}, {25, 65}));
  EXPECT_FALSE(IsClick({20, 70}, {26, 70}));
  EXPECT_FALSE(IsClick({20, 70}, {20, 64}));
  // Before any press: no message position, nor the starting position, is ever a click.
  EXPECT_FALSE(IsClick(NoPressPosition, {-32768, -32768}));
  EXPECT_FALSE(IsClick(NoPressPosition, NoMousePosition));
  EXPECT_FALSE(IsClick({INT32_MAX, INT32_MIN}, {INT32_MIN, INT32_MAX}));
}

TEST(EditorInputModel, DragClampsHoldForAnyTravel) {
  float x = 0.0f, y = 0.0f;
  AddDragDelta(x, y, 100, -28, false);
  EXPECT_EQ(DraggedSpan(1536, x), 1636);
  EXPECT_EQ(DraggedMargin(0.01f, y), 0.01f - 14.0f / 14000.0f);
  // Below one tick is none; the span and margin stop at their bounds, given as their bits.
  EXPECT_EQ(DraggedSpan(1, -0.5f), 0);
  EXPECT_EQ(DraggedSpan(0, 0.5f), 1);
  uint32_t bits;
  const float least = DraggedMargin(0.01f, 1e6f), largest = DraggedMargin(0.01f, -1e6f);
  std::memcpy(&bits, &least, sizeof bits);
  EXPECT_EQ(bits, 0x3A83126Fu);
  std::memcpy(&bits, &largest, sizeof bits);
  EXPECT_EQ(bits, 0x3DCCCCCDu);
  // Travel beyond any int converts to nothing undefined.
  EXPECT_EQ(DraggedSpan(1536, 3e38f), MaxGraphSpan);
  EXPECT_EQ(DraggedSpan(1536, -3e38f), 0);
  EXPECT_EQ(DraggedSpan(INT32_MAX, 1e9f), MaxGraphSpan);
}

// Each corner pixel of each monitor, on desktops whose origin lies left of, above or at the
// primary monitor: an absolute move aimed there lands within a pixel short of it, as the platform
// maps absolute coordinates (origin + coordinate x size / 65536, rounded down).
TEST(EditorInputModel, ParkingLandsWithinAPixelOnEveryMonitor) {
  const struct {
    DesktopRect desk;
    std::vector<DesktopRect> monitors;
  } desktops[] = {
      {{0, 0, 1280, 1024}, {{0, 0, 1280, 1024}}},
      {{0, 0, 2304, 1024}, {{0, 0, 1280, 1024}, {1280, 0, 1024, 768}}},
      {{-1920, 0, 3200, 1080}, {{0, 0, 1280, 1024}, {-1920, 0, 1920, 1080}}},
      {{-2560, -1440, 6400, 2520},
       {{0, 0, 1920, 1080}, {-2560, -1440, 2560, 1440}, {1920, 0, 1920, 1080}}},
  };
  for (const auto& d : desktops) {
    for (const DesktopRect& m : d.monitors) {
      const int32_t right = m.left + m.width - 1, bottom = m.top + m.height - 1;
      for (EditorPoint home : {EditorPoint{m.left, m.top}, EditorPoint{right, m.top},
                               EditorPoint{m.left, bottom}, EditorPoint{right, bottom}}) {
        const AbsolutePoint aim = ParkingPoint(home, d.desk);
        const int64_t x = d.desk.left + (int64_t{aim.x} * d.desk.width >> 16);
        const int64_t y = d.desk.top + (int64_t{aim.y} * d.desk.height >> 16);
        EXPECT_TRUE(aim.x >= 0 && aim.y >= 0 && x <= home.x && x >= home.x - 1 && y <= home.y &&
                    y >= home.y - 1)
            << home.x << "," << home.y << " on a desktop from " << d.desk.left << "," << d.desk.top
            << " lands at " << x << "," << y;
      }
    }
  }
  // With the primary monitor alone, the numbers are those of scaling by the screen's size.
  for (EditorPoint home : {EditorPoint{0, 0}, EditorPoint{640, 512}, EditorPoint{1279, 1023}}) {
    const AbsolutePoint aim = ParkingPoint(home, {0, 0, 1280, 1024});
    EXPECT_EQ(aim.x, static_cast<int32_t>(65534.0 / 1280 * home.x));
    EXPECT_EQ(aim.y, static_cast<int32_t>(65534.0 / 1024 * home.y));
  }
}

}  // namespace
}  // namespace tempotally
