// What one paint of the editor shows, worked out from the engine's fields without touching any
// window: the readout text and its tint, the toggles' LED states, and the tempo graph's columns
// and play-position marker. The drawing code only turns this into pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "editor/EditorLayout.h"
#include "editor/Toggles.h"
#include "timeline/SharedEngine.h"
#include "timeline/TimelineEngine.h"

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
  uint8_t leds[ToggleCount] = {};  // 0 off, 1 on; in the order of editor/Toggles.h
  uint8_t Led(Toggle toggle) const { return leds[static_cast<int>(toggle)]; }
  bool graphShown = false;
  GraphColumn columns[GraphColumns] = {};
  bool markerShown = false;
  int32_t markerX = 0;      // the marker fills this one pixel column ...
  int32_t markerRight = 0;  // ... given to the rectangle as right edge with this
};

// The editor's view of the graph: zoom from the drag, and the host's selection in ticks.
struct GraphView {
  int32_t span = 0;
  float margin = 0.0f;
  double selection[2] = {0.0, 0.0};
};

// Minutes and seconds as "%02i:%05.2f"; "--:--.--" for a value that is not finite.
void FormatReadout(double seconds, char* out, size_t size);

// The snapshot of an engine that no other thread uses (tests, and mirrors of the engine).
EngineSnapshot SnapshotOf(const TimelineEngine& engine);

// Everything a paint shows for this engine state. Reads at most 2 x GraphColumns map entries, each
// whole (a column may be older than its neighbour while a tick records), and allocates nothing.
void BuildPaintModel(const EngineSnapshot& engine, const GraphView& view, PaintModel& model);
inline void BuildPaintModel(const TimelineEngine& engine, const GraphView& view,
                            PaintModel& model) {
  BuildPaintModel(SnapshotOf(engine), view, model);
}

}  // namespace tempotally
