// The editor's skin sheet, drawn in code: background, three framed panels, the LED sprites and the
// about panel's artwork, anti-aliased by supersampling. Deterministic: only +, -, x, / and
// comparisons, so every machine draws the same bytes.
#pragma once

#include <cstdint>
#include <vector>

namespace tempotally::skin {

constexpr int SheetSize = 480;

// The sheet as a Windows bitmap file: 24 bits per pixel, uncompressed, rows bottom-up.
std::vector<uint8_t> DrawSkinBitmapFile();

}  // namespace tempotally::skin
