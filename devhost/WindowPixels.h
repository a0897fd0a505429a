// Reads back what a window shows: its client area (or its whole area, frame included) as RGB
// pixels, after letting it paint. Shared by the tests that check the editor's pixels, the demo's
// screenshots and the paint benchmark.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace tempotally::testhost {

struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> rgb;  // 0x00RRGGBB, top row first

  uint32_t At(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
};

constexpr uint32_t Rgb(int r, int g, int b) {
  return static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(b);
}

// Delivers every pending message of this thread.
void PumpMessages();

// Repaints the window now (invalidate and update) and reads it back. `wholeWindow` includes the
// frame and caption; otherwise only the client area. Empty pixels when it cannot be read.
Pixels CaptureWindow(HWND window, bool wholeWindow = false);

// The client area as it shows now, without asking the window to paint first.
Pixels ShownPixels(HWND window);

// The pixels of a whole bitmap.
Pixels BitmapPixels(HBITMAP bitmap);

}  // namespace tempotally::testhost
