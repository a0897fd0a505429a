// Small owners of GDI resources, so that every path out of a paint gives back what it took:
// a deleted memory context, an object selected back out, a paint ended, a surface whose pixels
// the process writes itself.
#pragma once

#include <windows.h>

#include "editor/PaintPixels.h"

namespace tempotally {

// A memory device context compatible with another one, deleted at the end.
class MemoryDc {
 public:
  explicit MemoryDc(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {}
  ~MemoryDc() {
    if (dc_) DeleteDC(dc_);
  }
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;

  HDC Get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HDC dc_;
};

// Selects an object into a context and, at the end, the one it replaced back in. Selecting again
// through the same guard keeps the first replaced object for the restore.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (previous_) SelectObject(dc_, previous_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

  void Select(HGDIOBJ object) { SelectObject(dc_, object); }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// The context a paint draws into: the window's own, never one from BeginPaint. Every paint draws
// the whole client area, so for WM_PAINT marking the window valid is all that BeginPaint and
// EndPaint would add, and under Wine they cost more than the drawing in round trips to the window
// system (the update region, the caret, the erase and the non-client checks).
class PaintSession {
 public:
  enum Kind { UpdateRegion, WholeWindowNow };
  PaintSession(HWND window, Kind kind) : window_(window) {
    // Validated before the drawing, so that a change asked for meanwhile still gets its paint.
    if (kind == UpdateRegion) ValidateRect(window, nullptr);
    dc_ = GetDC(window);
  }
  ~PaintSession() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  PaintSession(const PaintSession&) = delete;
  PaintSession& operator=(const PaintSession&) = delete;

  HDC Dc() const { return dc_; }

 private:
  HWND window_;
  HDC dc_ = nullptr;
};

// A memory context drawing into a top-down 32-bit DIB section: the pixels stay in the process, so
// the code may also write them directly (after GdiFlush, once GDI has drawn into it).
class DibSurface {
 public:
  DibSurface() = default;
  ~DibSurface() { Reset(); }
  DibSurface(const DibSurface&) = delete;
  DibSurface& operator=(const DibSurface&) = delete;

  // A fresh surface of this size, all pixels 0; false, and empty, when GDI cannot make it.
  bool Make(HDC compatibleWith, int width, int height) {
    Reset();
    if (width <= 0 || height <= 0) return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(compatibleWith, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    dc_ = bitmap_ && bits ? CreateCompatibleDC(compatibleWith) : nullptr;
    if (!dc_) {
      Reset();
      return false;
    }
    previous_ = SelectObject(dc_, bitmap_);
    view_ = {static_cast<uint32_t*>(bits), width, height};
    return true;
  }
  void Reset() {
    if (dc_) {
      if (previous_) SelectObject(dc_, previous_);
      DeleteDC(dc_);
    }
    if (bitmap_) DeleteObject(bitmap_);
    dc_ = nullptr;
    bitmap_ = nullptr;
    previous_ = nullptr;
    view_ = PixelView{};
  }

  HDC Dc() const { return dc_; }
  const PixelView& View() const { return view_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  PixelView view_;
};

}  // namespace tempotally
