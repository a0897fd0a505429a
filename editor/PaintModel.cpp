// The editor's paint model: the readout's digits and the graph's arithmetic, kept in the same
// single-precision steps as the drawing has always used, with every float-to-int conversion and
// division guarded against values the host or a saved project may bring.
#include "editor/PaintModel.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>

namespace tempotally {

namespace {

constexpr double MaxWholeSeconds = static_cast<double>(std::numeric_limits<int32_t>::max());
constexpr double MinWholeSeconds = static_cast<double>(std::numeric_limits<int32_t>::min());
// A column's bar height relative to the scale is clamped to this (not 1: the scale's own columns
// keep it within 0..1 anyway).
constexpr float MaxBarFraction = 100.0f;

// The nearest float, or an infinity of the same sign beyond the float range (what the hardware
// gives, without leaving it to an undefined conversion).
float ToFloat(double value) {
  if (value > FLT_MAX) return std::numeric_limits<float>::infinity();
  if (value < -FLT_MAX) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

// The tick a column samples, or -1 when it lies outside 1..GraphLastTick (or is not a number).
int32_t SampledTick(double position) {
  if (!(position >= 1.0 && position < static_cast<double>(MapTicks))) return -1;
  return static_cast<int32_t>(position);
}

// The bar colour's quotient: bars per beat count as at least 1, also before the host has sent a
// time signature (0/0) or when the first number is the smaller.
int64_t BarColourQuotient(const int32_t signature[3]) {
  const int64_t q = signature[1] != 0 ? static_cast<int64_t>(signature[0]) / signature[1] : 0;
  return q < 1 ? 1 : q;
}

void BuildGraph(const EngineSnapshot& engine, const GraphView& view, PaintModel& model) {
  float lo, hi;
  if (engine.options.selection) {
    lo = ToFloat(view.selection[0]);
    hi = ToFloat(view.selection[1]);
  } else {
    lo = ToFloat(engine.songPosition - view.span);
    hi = ToFloat(engine.songPosition + view.span);
  }
  if (lo < 1.0f) lo = 1.0f;
  const double range = static_cast<double>(hi) - lo;

  if (engine.map != nullptr) {
    // Each entry is read once, so the scale and the bars agree while a tick records.
    double lengths[GraphColumns] = {};
    for (int i = 0; i < GraphColumns; ++i) {
      const float t = static_cast<float>(static_cast<double>(i) / GraphColumns);
      const int32_t tick = SampledTick(lo + t * range);
      model.columns[i].drawn = tick >= 0;
      model.columns[i].tick = tick >= 0 ? tick : 0;
      if (tick >= 0) lengths[i] = LoadLength(&engine.map[tick]);
    }

    float minimum = 1.0f, maximum = -1.0f;
    for (int i = 0; i < GraphColumns; ++i) {
      if (!model.columns[i].drawn) continue;
      const double d = lengths[i];
      if (d > maximum) maximum = ToFloat(d);
      if (d < minimum) minimum = ToFloat(d);
    }
    const float top = maximum + view.margin;
    const float bottom = minimum - view.margin;

    const int64_t q = BarColourQuotient(engine.timeSignature);
    for (int i = 0; i < GraphColumns; ++i) {
      GraphColumn& column = model.columns[i];
      if (!column.drawn) continue;
      column.brush = (column.tick % (2 * BarColourHalfPeriod * q)) / (BarColourHalfPeriod * q) == 0
                         ? BarBrush::White
                         : BarBrush::LightGray;
      float n = (ToFloat(lengths[i]) - top) / (bottom - top);
      if (n > MaxBarFraction) {
        n = MaxBarFraction;
      } else if (!(n >= 0.0f)) {
        n = 0.0f;  // below the scale, or not a number when the scale itself is not finite
      }
      column.height = static_cast<int32_t>(n * GraphMaxBar);
    }
  }

  // A zero, negative or endless range has no place for the marker.
  const float p = ToFloat(engine.songPosition);
  if (lo <= p && p <= hi && range > 0.0 && std::isfinite(range)) {
    const float f = ToFloat((p - lo) / range);
    const float x = f * GraphColumns + GraphLeft;
    if (std::isfinite(x)) {
      model.markerShown = true;
      model.markerX = static_cast<int32_t>(x);
      model.markerRight = static_cast<int32_t>(x + 2);
    }
  }
}

}  // namespace

void FormatReadout(double seconds, char* out, size_t size) {
  if (!std::isfinite(seconds)) {
    std::snprintf(out, size, "%s", ReadoutPlaceholder);
    return;
  }
  // Below 2^55 every step of subtracting 60 is exact, so the remainder has the same bits as the
  // subtraction repeated until it is below 60, and it takes no time for a huge value.
  const double s = seconds >= SecondsPerMinute ? std::fmod(seconds, SecondsPerMinute) : seconds;
  const double whole = seconds > MaxWholeSeconds   ? MaxWholeSeconds
                       : seconds < MinWholeSeconds ? MinWholeSeconds
                                                   : seconds;
  const int minutes = static_cast<int32_t>(whole) / static_cast<int32_t>(SecondsPerMinute);
  std::snprintf(out, size, "%02i:%05.2f", minutes, s);
}

EngineSnapshot SnapshotOf(const TimelineEngine& engine) {
  EngineSnapshot snapshot;
  snapshot.options = engine.options;
  snapshot.displaySeconds = engine.displaySeconds;
  snapshot.recentChange = engine.recentChange;
  snapshot.songPosition = engine.songPosition;
  std::copy(engine.timeSignature, engine.timeSignature + 3, snapshot.timeSignature);
  snapshot.map = engine.tickDurations;
  return snapshot;
}

void BuildPaintModel(const EngineSnapshot& engine, const GraphView& view, PaintModel& model) {
  model = PaintModel{};
  FormatReadout(engine.displaySeconds, model.readout, sizeof model.readout);
  model.readoutTinted = engine.recentChange != 0;

  for (int i = 0; i < ToggleCount; ++i)
    model.leds[i] = ToggleOn(engine.options, Toggles[i]) ? 1 : 0;

  model.graphShown = engine.options.minimised < DeepestFoldLevel;
  if (model.graphShown) BuildGraph(engine, view, model);
}

}  // namespace tempotally
