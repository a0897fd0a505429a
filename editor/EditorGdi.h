// The editor's drawing resources: small owners of GDI resources, so that every path out of a paint
// gives back what it took; those in the module, the set that every live editor shares, and the
// canvas each editor paints through.
#pragma once

#include <windows.h>

#include <cstdint>

#include "TempotallyVersion.h"
#include "editor/PaintModel.h"

namespace tempotally {

// Owns one GDI handle and frees it: an object (font, bitmap, pen, brush) by default.
template <typename Handle, auto Free = DeleteObject>
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(Handle handle) : handle_(handle) {}
  ~GdiObject() { Reset(); }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;

  void Reset(Handle handle = nullptr) {
    if (handle_) Free(handle_);
    handle_ = handle;
  }
  Handle Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  Handle handle_ = nullptr;
};
using MemoryDc = GdiObject<HDC, DeleteDC>;

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

// The window's own context, which a paint draws into rather than one from BeginPaint: every paint
// draws the whole client area, so marking the window valid is all that BeginPaint and EndPaint
// would add, and under Wine they cost more than the drawing in round trips to the window system.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDc() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;

  HDC Get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// A memory context drawing into a top-down 32-bit DIB section: the pixels stay in the process, so
// the code may also write them directly (after GdiFlush, once GDI has drawn into it).
class DibSurface {
 public:
  ~DibSurface() { Reset(); }

  // A fresh surface of this size, all pixels 0; false, and empty, when GDI cannot make it.
  bool Make(HDC compatibleWith, int width, int height) {
    Reset();
    if (width <= 0 || height <= 0) return false;
    BITMAPINFO info{};
    // Negative height: top row first.
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    bitmap_.Reset(CreateDIBSection(compatibleWith, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (bitmap_ && bits) dc_.Reset(CreateCompatibleDC(compatibleWith));
    if (!dc_) {
      Reset();
      return false;
    }
    previous_ = SelectObject(dc_.Get(), bitmap_.Get());
    view_ = {static_cast<uint32_t*>(bits), width, height};
    return true;
  }
  // The bitmap is selected back out before the context and then the bitmap are deleted.
  void Reset() {
    if (dc_ && previous_) SelectObject(dc_.Get(), previous_);
    dc_.Reset();
    bitmap_.Reset();
    previous_ = nullptr;
    view_ = PixelView{};
  }

  HDC Dc() const { return dc_.Get(); }
  const PixelView& View() const { return view_; }
  explicit operator bool() const { return static_cast<bool>(dc_); }

 private:
  GdiObject<HBITMAP> bitmap_;
  MemoryDc dc_;
  HGDIOBJ previous_ = nullptr;
  PixelView view_;
};

// Module resources (numbers as in resources/Tempotally.rc).
constexpr int SkinBitmapResource = 101;
constexpr int EmbeddedFontResource = 102;

// The editor's typeface, registered from the host's artwork folder (relative to its current
// directory) or, when that fails, from the copy inside the module.
constexpr const char* EditorFontFace = "Cuprum";
constexpr const char* EditorFontPath = "Artwork\\Fonts\\Cuprum\\Cuprum.ttf";
constexpr int LabelFontHeight = 14;
constexpr int TitleFontHeight = 16;
constexpr int ReadoutFontHeight = 48;

constexpr const char* AboutTitle = "ORVA Tempotally BETA v" TEMPOTALLY_VERSION;

struct SharedGdi {
  HBITMAP skinBitmap = nullptr;
  HFONT titleFont = nullptr;
  HFONT readoutFont = nullptr;
  HFONT labelFont = nullptr;
};
extern SharedGdi sharedGdi;

// Users of the shared set alive now: one per plug-in object.
extern int32_t editorInstanceCount;

// One user of the shared set for as long as it lives: the first registers the typeface, makes the
// fonts and loads the skin (a failure leaves that handle null), the last deletes them. On the
// thread that makes and releases plug-in objects, one at a time.
class SharedGdiUser {
 public:
  explicit SharedGdiUser(HINSTANCE moduleInstance);
  ~SharedGdiUser();
  SharedGdiUser(const SharedGdiUser&) = delete;
  SharedGdiUser& operator=(const SharedGdiUser&) = delete;
};

// The editor's surfaces, kept from one paint to the next: the background (the skin with the text
// that never changes) and the back buffer that each paint brings up to date. Window thread only.
class EditorCanvas {
 public:
  // Brings the back buffer to `model` and copies its `width` x `height` pixels to (0, 0) of
  // `target`. The surfaces are made again when the size or the skin changes; nothing is drawn
  // when they cannot be made.
  void Paint(HDC target, int width, int height, const PaintModel& model);

 private:
  // Makes the surfaces for this size, and the background on them; false when GDI cannot.
  bool Fit(HDC target, int width, int height);
  void DrawReadout(const PaintModel& model);

  DibSurface background_;
  DibSurface back_;
  DibSurface ledSprites_;  // the off cell, then the on cell
  HBITMAP skinDrawn_ = nullptr;
  bool readoutCurrent_ = false;  // the back buffer shows shownReadout_ in shownTint_
  char shownReadout_[ReadoutChars] = {};
  bool shownTint_ = false;
  PixelRect graphWritten_;  // the last paint's bars and marker
};

}  // namespace tempotally
