// The editor's six toggles in one table: each one's label and where it stands, its LED, the zone a
// click flips it in and the option it flips. The paint, the paint model and the click handler all
// read from it. Platform-free.
#pragma once

#include <cstdint>

#include "editor/EditorInputModel.h"
#include "timeline/TimelineEngine.h"

namespace tempotally {

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
  Toggle toggle;
  const char* label;
  ClientRect labelRect;
  bool labelClipped;  // to its rectangle; the others may run past it
  EditorPoint led;    // the top left of the LED's cell
  ZoneBounds zone;
  int option;  // the position of a byte option's row in OptionTable (timeline/TimelineEngine.h)
  // A click sets `on` over `off` and `off` over anything else; any value but `off` lights the LED.
  uint8_t off, on;
  uint8_t video;  // VideoPart bits that follow the option
};

// clang-format off
constexpr ToggleRow Toggles[] = {
    {Toggle::Freeze, "Freeze", {25, 64, 50, 76}, false, {10, 66},
     {ZoneOf(Toggle::Freeze), 10, 50, 64, 76}, OptionIndex("freeze"), 0, 1, VideoPartNone},
    // The zone leaves out the LED's three leftmost columns.
    {Toggle::LookAhead, "Look ahead", {70, 64, 113, 76}, false, {55, 66},
     {ZoneOf(Toggle::LookAhead), 58, 113, 64, 76}, OptionIndex("lookahead"), 0, 1, VideoPartNone},
    // This zone and the next start right of their LEDs.
    {Toggle::Optimise, "Optimise", {138, 64, 176, 76}, true, {123, 66},
     {ZoneOf(Toggle::Optimise), 141, 176, 64, 76}, OptionIndex("optimise"),
     StepEveryTick, StepOptimised, VideoPartNone},
    {Toggle::Selection, "Selection", {193, 64, 230, 76}, true, {178, 66},
     {ZoneOf(Toggle::Selection), 193, 230, 64, 76}, OptionIndex("selection"), 0, 1, VideoPartNone},
    {Toggle::ShowVideo, "Show video player", {25, 80, 50, 92}, false, {10, 82},
     {ZoneOf(Toggle::ShowVideo), 10, 100, 80, 92}, OptionIndex("video"), 0, 1, VideoPartShown},
    {Toggle::VideoOnTop, "Video on-top", {118, 80, 143, 92}, false, {103, 82},
     {ZoneOf(Toggle::VideoOnTop), 103, 173, 80, 92}, OptionIndex("videoontop"), 0, 1,
     VideoPartOnTop},
};
// clang-format on

constexpr int ToggleCount = static_cast<int>(sizeof Toggles / sizeof Toggles[0]);

constexpr bool TogglesInOrder() {
  for (int i = 0; i < ToggleCount; ++i) {
    if (static_cast<int>(Toggles[i].toggle) != i ||
        Toggles[i].zone.zone != ZoneOf(Toggles[i].toggle) || Toggles[i].option < 0 ||
        OptionTable[Toggles[i].option].byteField == nullptr) {
      return false;
    }
  }
  return true;
}
static_assert(TogglesInOrder(),
              "PaintModel::leds and the zones are indexed by table position; each toggle flips a "
              "byte option");

inline bool ToggleOn(const EngineOptions& options, const ToggleRow& row) {
  return options.*(OptionTable[row.option].byteField) != row.off;
}

inline void FlipToggle(TimelineEngine& engine, const ToggleRow& row) {
  OptionByte& value = engine.options.*(OptionTable[row.option].byteField);
  value = value == row.off ? row.on : row.off;
}

// The toggle that `zone` flips, or null.
inline const ToggleRow* ToggleInZone(EditorZone zone) {
  const int index = static_cast<int>(zone);
  return index >= 0 && index < ToggleCount ? &Toggles[index] : nullptr;
}

}  // namespace tempotally
