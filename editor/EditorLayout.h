// The editor panel's geometry in client pixels, origin top left, in one place, with the table of
// its six toggles: the skin generator (tools/skin) draws to it, the paint draws over it and the
// input tests clicks against it. Platform-free.
#pragma once

#include <cstdint>

#include "timeline/TimelineEngine.h"

namespace tempotally {

struct EditorPoint {
  int32_t x, y;
};

// Half-open, as for a window rectangle: x from left to right - 1, y from top to bottom - 1.
struct PixelRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  constexpr bool Empty() const { return left >= right || top >= bottom; }
};

// Bounds inclusive on every side.
struct PanelBounds {
  int32_t left, top, right, bottom;
};

// Where a click lands: nowhere, the fold zone, or a toggle's zone, whose value is the toggle's
// position in the toggle table (ZoneOf).
enum class EditorZone : int { None = -2, Fold = -1 };

// The editor's size: always this wide; this high unfolded, and a panel's worth less per fold level.
constexpr int EditorWidth = 240;
constexpr int EditorFullHeight = 294;
constexpr int EditorFoldStep = 94;

// The skin's three framed panels, frame included: the readout and the toggles, the graph, the
// about block. Each fold level hides the lowest one still shown.
constexpr PanelBounds TopPanel = {5, 7, 233, 99};
constexpr PanelBounds GraphPanel = {5, 107, 233, 195};
constexpr PanelBounds AboutPanel = {5, 203, 233, 288};

// The readout's text stands at this rectangle's top left and is clipped to it.
constexpr PixelRect ReadoutRect = {48, 10, 230, 80};
constexpr PixelRect AboutRect = {10, 209, 230, 288};

// The graph's columns stand side by side from GraphLeft, one pixel column each. Bars stand on the
// graph panel's bottom frame line and are at most GraphMaxBar high; the marker runs from MarkerTop.
constexpr int GraphColumns = 224;
constexpr int GraphLeft = 8;
constexpr int GraphBaseline = GraphPanel.bottom;
constexpr int GraphMaxBar = 84;
constexpr int MarkerTop = 110;

// The LED sprites on the skin sheet, outside the panel: the off cell, then the on cell.
constexpr int LedSize = 10;
constexpr int LedSpriteX = 375;
constexpr int LedSpriteY = 195;

// Folds the editor; tested before the toggles' zones.
constexpr PanelBounds FoldZone = {9, 12, 250, 58};
// A left press here starts a zoom drag; it overlaps the second toggle row at y 90..92.
constexpr PanelBounds GraphZone = {7, 90, 232, 175};

// The toggles in table order, which is also the order of PaintModel::leds.
enum class Toggle : int { Freeze, LookAhead, Optimise, Selection, ShowVideo, VideoOnTop };

// The parts of the video window that follow an option, as bits.
enum VideoPart : uint8_t {
  VideoPartNone = 0,
  VideoPartShown = 1,  // shown or hidden
  VideoPartOnTop = 2,  // above every other window or not
  VideoPartsBoth = VideoPartShown | VideoPartOnTop,
};

constexpr EditorZone ZoneOf(Toggle toggle) { return static_cast<EditorZone>(toggle); }

struct ToggleRow {
  const char* label;
  PixelRect labelRect;
  bool labelClipped;  // to its rectangle; the others may run past it
  EditorPoint led;    // the top left of the LED's cell
  PanelBounds zone;
  int option;  // the byte option's row in OptionTable
  // A click sets `on` over `off` and `off` over anything else; any value but `off` lights the LED.
  uint8_t off, on;
  uint8_t video;  // VideoPart bits that follow the option
};

// The zones of Look ahead, Optimise and Selection leave out their LEDs, wholly or in part.
// clang-format off
constexpr ToggleRow Toggles[] = {
    {"Freeze", {25, 64, 50, 76}, false, {10, 66}, {10, 64, 50, 76},
     OptionIndex("freeze"), 0, 1, VideoPartNone},
    {"Look ahead", {70, 64, 113, 76}, false, {55, 66}, {58, 64, 113, 76},
     OptionIndex("lookahead"), 0, 1, VideoPartNone},
    {"Optimise", {138, 64, 176, 76}, true, {123, 66}, {141, 64, 176, 76},
     OptionIndex("optimise"), StepEveryTick, StepOptimised, VideoPartNone},
    {"Selection", {193, 64, 230, 76}, true, {178, 66}, {193, 64, 230, 76},
     OptionIndex("selection"), 0, 1, VideoPartNone},
    {"Show video player", {25, 80, 50, 92}, false, {10, 82}, {10, 80, 100, 92},
     OptionIndex("video"), 0, 1, VideoPartShown},
    {"Video on-top", {118, 80, 143, 92}, false, {103, 82}, {103, 80, 173, 92},
     OptionIndex("videoontop"), 0, 1, VideoPartOnTop},
};
// clang-format on

constexpr int ToggleCount = static_cast<int>(sizeof Toggles / sizeof Toggles[0]);

constexpr bool TogglesFlipByteOptions() {
  for (const ToggleRow& row : Toggles) {
    if (row.option < 0 || OptionTable[row.option].byteField == nullptr) return false;
  }
  return true;
}
static_assert(TogglesFlipByteOptions(), "each toggle flips a byte option");

inline bool ToggleOn(const EngineOptions& options, const ToggleRow& row) {
  return options.*(OptionTable[row.option].byteField) != row.off;
}

inline const ToggleRow* ToggleInZone(EditorZone zone) {
  const int index = static_cast<int>(zone);
  return index >= 0 && index < ToggleCount ? &Toggles[index] : nullptr;
}

}  // namespace tempotally
