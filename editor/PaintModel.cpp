// The editor's paint model: the readout's digits and the graph's arithmetic, kept in the same
// single-precision steps as the drawing has always used, with every float-to-int conversion and
// division guarded against values the host or a saved project may bring. Then the graph's bars and
// marker and the skin's pieces written straight into the back buffer: GDI's null-pen rectangles,
// one call each, cost far more than the few pixels they fill.
#include "editor/PaintModel.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
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
    float minimum = 1.0f, maximum = -1.0f;
    for (int i = 0; i < GraphColumns; ++i) {
      const float t = static_cast<float>(static_cast<double>(i) / GraphColumns);
      // Outside 1..GraphLastTick, or not a number: no tick.
      const double position = lo + t * range;
      const int32_t tick =
          position >= 1.0 && position < MapTicks ? static_cast<int32_t>(position) : -1;
      model.columns[i].drawn = tick >= 0;
      model.columns[i].tick = tick >= 0 ? tick : 0;
      if (tick < 0) continue;
      const double d = lengths[i] = LoadLength(&engine.map[tick]);
      if (d > maximum) maximum = ToFloat(d);
      if (d < minimum) minimum = ToFloat(d);
    }
    const float top = maximum + view.margin;
    const float bottom = minimum - view.margin;

    // Bars per beat count as at least 1, also before the host has sent a time signature (0/0) or
    // when the first number is the smaller.
    const int32_t* signature = engine.timeSignature;
    const int64_t q =
        std::max<int64_t>(signature[1] != 0 ? int64_t{signature[0]} / signature[1] : 0, 1);
    for (int i = 0; i < GraphColumns; ++i) {
      GraphColumn& column = model.columns[i];
      if (!column.drawn) continue;
      column.brush = (column.tick % (2 * BarColourHalfPeriod * q)) / (BarColourHalfPeriod * q) == 0
                         ? BarBrush::White
                         : BarBrush::LightGray;
      const float n = (ToFloat(lengths[i]) - top) / (bottom - top);
      // Zero below the scale, or for not a number when the scale itself is not finite.
      const float bar = n > MaxBarFraction ? MaxBarFraction : n >= 0.0f ? n : 0.0f;
      column.height = static_cast<int32_t>(bar * GraphMaxBar);
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
  const double whole = std::clamp(seconds, MinWholeSeconds, MaxWholeSeconds);
  const int minutes = static_cast<int32_t>(whole) / static_cast<int32_t>(SecondsPerMinute);
  std::snprintf(out, size, "%02i:%05.2f", minutes, s);
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

void CopyBlock(const PixelView& from, PixelRect area, const PixelView& to, int x, int y) {
  const int dx = x - area.left, dy = y - area.top;
  area = {std::max({area.left, 0, -dx}), std::max({area.top, 0, -dy}),
          std::min({area.right, from.width, to.width - dx}),
          std::min({area.bottom, from.height, to.height - dy})};
  if (area.Empty()) return;
  const size_t bytes = static_cast<size_t>(area.right - area.left) * sizeof(uint32_t);
  for (int row = area.top; row < area.bottom; ++row) {
    std::memcpy(to.pixels + static_cast<size_t>(row + dy) * to.width + area.left + dx,
                from.pixels + static_cast<size_t>(row) * from.width + area.left, bytes);
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
