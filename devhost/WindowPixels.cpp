// Window and bitmap read-back through a 32-bit top-down DIB section.
#include "devhost/WindowPixels.h"

namespace tempotally::testhost {

namespace {

// Copies `width` x `height` pixels from (x, y) of `source` into Pixels.
Pixels CopyFrom(HDC source, int x, int y, int width, int height) {
  Pixels out;
  if (width <= 0 || height <= 0) return out;
  HDC memory = CreateCompatibleDC(source);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (dib != nullptr && bits != nullptr) {
    HGDIOBJ old = SelectObject(memory, dib);
    if (BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY)) {
      GdiFlush();
      const auto* bgrx = static_cast<const uint32_t*>(bits);
      out.width = width;
      out.height = height;
      out.rgb.assign(bgrx, bgrx + static_cast<size_t>(width) * height);
      for (uint32_t& p : out.rgb) p &= 0x00FFFFFF;
    }
    SelectObject(memory, old);
  }
  if (dib != nullptr) DeleteObject(dib);
  DeleteDC(memory);
  return out;
}

}  // namespace

void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

Pixels CaptureWindow(HWND window, bool wholeWindow) {
  RECT rect{};
  if (wholeWindow) {
    if (!GetWindowRect(window, &rect)) return {};
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  } else {
    if (!GetClientRect(window, &rect)) return {};
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  }
  PumpMessages();
  GdiFlush();
  HDC source = wholeWindow ? GetWindowDC(window) : GetDC(window);
  Pixels out = CopyFrom(source, 0, 0, rect.right - rect.left, rect.bottom - rect.top);
  ReleaseDC(window, source);
  return out;
}

Pixels ShownPixels(HWND window) {
  RECT rect{};
  if (!GetClientRect(window, &rect)) return {};
  GdiFlush();
  HDC source = GetDC(window);
  Pixels out = CopyFrom(source, 0, 0, rect.right, rect.bottom);
  ReleaseDC(window, source);
  return out;
}

Pixels BitmapPixels(HBITMAP bitmap) {
  BITMAP info{};
  if (!bitmap || !GetObjectA(bitmap, sizeof info, &info)) return {};
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(memory, bitmap);
  Pixels out = CopyFrom(memory, 0, 0, info.bmWidth, info.bmHeight);
  SelectObject(memory, old);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return out;
}

}  // namespace tempotally::testhost
