// The editor panel's geometry in client pixels, origin top left, in one place: the skin generator
// (tools/skin) draws the sheet to it, the paint draws over it and the input tests clicks against
// it. Each toggle's own rectangles are its row of the toggle table (editor/Toggles.h).
// Platform-free.
#pragma once

#include <cstdint>

namespace tempotally {

struct EditorPoint {
  int32_t x;
  int32_t y;
};

// Right and bottom exclusive, as for a window rectangle.
struct ClientRect {
  int32_t left, top, right, bottom;
};

// Bounds inclusive on every side.
struct PanelBounds {
  int32_t left, top, right, bottom;
};

// Where a click lands: nowhere, the fold zone, or a toggle's zone, whose value is the toggle's
// position in the toggle table (editor/Toggles.h, ZoneOf).
enum class EditorZone : int { None = -2, Fold = -1 };

// Client pixels, bounds inclusive.
struct ZoneBounds {
  EditorZone zone;
  int32_t left, right, top, bottom;
};

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
constexpr ClientRect ReadoutRect = {48, 10, 230, 80};
constexpr ClientRect AboutRect = {10, 209, 230, 288};

// The graph's columns stand side by side from GraphLeft, one pixel column each. Bars stand on the
// graph panel's bottom frame line and are at most GraphMaxBar high; the marker runs from MarkerTop.
constexpr int GraphColumns = 224;
constexpr int GraphLeft = 8;
constexpr int GraphBaseline = GraphPanel.bottom;
constexpr int GraphMaxBar = 84;
constexpr int MarkerTop = 110;

// The LED sprites on the skin sheet, outside the panel: the off cell, then the on cell to its
// right.
constexpr int LedSize = 10;
constexpr int LedSpriteX = 375;
constexpr int LedSpriteY = 195;

// Folds the editor; tested before the toggles' zones, the first that contains the point wins.
constexpr ZoneBounds FoldZone = {EditorZone::Fold, 9, 250, 12, 58};
// A left press here starts a zoom drag; it overlaps the second toggle row at y 90..92.
constexpr ZoneBounds GraphZone = {EditorZone::None, 7, 232, 90, 175};

}  // namespace tempotally
