// What one paint of the editor shows, worked out from the engine's snapshot, and the pixels of the
// graph and the skin's pieces, as GDI fills them. Platform-free: the native tests check them all.
#pragma once

#include <cstddef>
#include <cstdint>

#include "editor/EditorLayout.h"
#include "timeline/EngineSnapshot.h"

namespace tempotally {

// The highest tick a column may sample; tick 0 is never sampled.
constexpr int32_t GraphLastTick = MapTicks - 1;
// Ticks per half alternation period of the bar colour, times the bars per beat quotient.
constexpr int32_t BarColourHalfPeriod = 384;
// The readout: minutes and seconds, the minutes field widening as it needs.
constexpr size_t ReadoutChars = 32;
constexpr const char* ReadoutPlaceholder = "--:--.--";

enum class BarBrush : uint8_t { White, LightGray };

struct GraphColumn {
  bool drawn = false;  // false: the column's tick lies outside the map
  int32_t tick = 0;
  int32_t height = 0;  // the bar fills y from GraphBaseline - height to GraphBaseline - 2
  BarBrush brush = BarBrush::White;
};

struct PaintModel {
  char readout[ReadoutChars] = {};
  bool readoutTinted = false;
  uint8_t leds[ToggleCount] = {};  // 0 off, 1 on; in the toggle table's order
  uint8_t Led(Toggle toggle) const { return leds[static_cast<int>(toggle)]; }
  bool graphShown = false;
  GraphColumn columns[GraphColumns] = {};
  bool markerShown = false;
  int32_t markerX = 0;      // the marker fills this one pixel column ...
  int32_t markerRight = 0;  // ... given to the rectangle as right edge with this
};

// The graph's zoom from the drag, and the host's selection in ticks.
struct GraphView {
  int32_t span = 0;
  float margin = 0.0f;
  double selection[2] = {0.0, 0.0};
};

// Minutes and seconds as "%02i:%05.2f"; "--:--.--" for a value that is not finite.
void FormatReadout(double seconds, char* out, size_t size);

// Everything a paint shows for this engine state. Reads at most 2 x GraphColumns map entries, each
// whole (a column may be older than its neighbour while a tick records), and allocates nothing.
void BuildPaintModel(const EngineSnapshot& engine, const GraphView& view, PaintModel& model);

// Pixels as 0x00RRGGBB, top row first, `width` pixels a row.
struct PixelView {
  uint32_t* pixels = nullptr;
  int width = 0, height = 0;
};

constexpr uint32_t BarWhite = 0xFFFFFF;      // stock WHITE_BRUSH
constexpr uint32_t BarLightGray = 0xC0C0C0;  // stock LTGRAY_BRUSH
constexpr uint32_t MarkerGray = 0x404040;    // stock DKGRAY_BRUSH

PixelRect Union(const PixelRect& a, const PixelRect& b);
bool Intersects(const PixelRect& a, const PixelRect& b);

// Copies `area` of `from` to (x, y) of `to`, clipped to both.
void CopyBlock(const PixelView& from, PixelRect area, const PixelView& to, int x, int y);
inline void CopyArea(const PixelView& from, const PixelView& to, const PixelRect& area) {
  CopyBlock(from, area, to, area.left, area.top);
}

// What GDI's Rectangle fills with the null pen from these corners (in either order): one pixel
// less in width and height. Clipped to the surface; returns the area it filled.
PixelRect FillNullPenRectangle(const PixelView& to, int x1, int y1, int x2, int y2,
                               uint32_t colour);

// The graph's bars, then the marker, of a model whose graph is shown; returns the area written,
// which the next paint restores from the background before it writes its own.
PixelRect WriteGraph(const PaintModel& model, const PixelView& to);

}  // namespace tempotally
